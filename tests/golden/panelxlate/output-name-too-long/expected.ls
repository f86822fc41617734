args
main.idm
