!! Buttons shared by the dialogs of the application.
export model pushbutton OkButton {
  .text "&OK";
  .VlKbRule[1] Confirm;
}
