args
head.dlg
inc
inc/defs.dlg
main.idm
out.dlg
