!! imports the module that imports this one: nothing more is read
import Widgets "IDMLIB:widgets.ifc";
export model edittext WField {
  .maxchars 8;
}
