"""A SCPI client on the service's raw socket, one line a query, with
TCP_NODELAY so that each query leaves at once."""
import socket


class ScpiSocket:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.file = self.sock.makefile("rb")

    def ask(self, line):
        """Sends `line`; the next line of the answer, without its end."""
        self.sock.sendall(line.encode() + b"\n")
        return self.file.readline().decode().strip()

    def close(self):
        self.file.close()
        self.sock.close()
