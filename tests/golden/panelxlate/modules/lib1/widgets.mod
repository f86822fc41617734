import Fields "IDMLIB:fields.ifc";
export model pushbutton WButton {
  .text "OK";
}
!! not exported: skipped with its body
window NotExported {
  child edittext E;
}
model edittext AlsoSkipped;
