# Runs a command with its standard error on a pseudo-terminal, as a user at a terminal sees the
# meter: its progress and live block. Usage: on_terminal.py COLUMNS TTY_FILE OUT_FILE COMMAND...
# COLUMNS 0 gives a terminal that says no width. What reached the terminal goes to TTY_FILE
# (bytes as written: the terminal is raw), standard output to OUT_FILE; the exit status is the
# command's (128 + N for signal N).
import fcntl
import os
import struct
import subprocess
import sys
import termios
import tty

ROWS = 24


def main():
    columns, tty_file, out_file, command = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
    master, terminal = os.openpty()
    tty.setraw(terminal)
    size = struct.pack("HHHH", ROWS if columns else 0, columns, 0, 0)
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, size)
    with open(out_file, "wb") as out:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=terminal)
    os.close(terminal)
    received = bytearray()
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # EIO: the last holder of the terminal closed it
            break
        if not chunk:
            break
        received += chunk
    status = child.wait()
    with open(tty_file, "wb") as f:
        f.write(received)
    return 128 - status if status < 0 else status


if __name__ == "__main__":
    sys.exit(main())
