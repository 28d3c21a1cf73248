# Nothing ever writes to it: reading it would block start-up.
mkfifo list.fifo
