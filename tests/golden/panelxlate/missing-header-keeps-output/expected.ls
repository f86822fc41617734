args
main.idm
out.dlg
