#!/usr/bin/env python3
# Holds a service's listening socket as a systemd socket unit does (Debian's desktops start
# PipeWire and pipewire-pulse so): binds PATH and, whenever a client knocks while the service is
# not running, starts COMMAND with the socket as its descriptor 3 (LISTEN_FDS=1), keeping its
# process id in PIDFILE. A service that ends leaves the socket listening, at the same inode;
# when this ends, the service ends with it.
#   socket-activation.py PATH PIDFILE COMMAND [ARG...]
import ctypes
import os
import select
import signal
import socket
import sys

path, pidfile, command = sys.argv[1], sys.argv[2], sys.argv[3:]
os.makedirs(os.path.dirname(path), exist_ok=True)
try:
    os.unlink(path)
except FileNotFoundError:
    pass
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
listener.bind(path)
listener.listen(64)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

service = None
while True:
    if service is not None and os.waitpid(service, os.WNOHANG)[0]:
        service = None
    if service is None and select.select([listener], [], [], 0.02)[0]:
        service = os.fork()
        if service == 0:
            # The service ends with its socket's holder, however that ends.
            ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
            os.dup2(listener.fileno(), 3)
            os.set_inheritable(3, True)
            os.environ.update(LISTEN_FDS="1", LISTEN_PID=str(os.getpid()))
            os.execvp(command[0], command)
        with open(pidfile, "w") as file:
            file.write(f"{service}\n")
    elif service is not None:
        select.select([], [], [], 0.02)
