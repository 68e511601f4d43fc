"""A mail server on 127.0.0.1 for the tests: stores each message as a file."""
import asyncio
import os
import sys

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = os.path.join(self.folder, "%06d.eml" % self.count)
        with open(name, "wb") as f:
            f.write(b"X-Envelope-From: " + envelope.mail_from.encode() + b"\r\n")
            f.write(b"X-Envelope-To: " + ",".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        return "250 OK"


def main():
    host, port, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    controller = Controller(Sink(folder), hostname=host, port=port)
    controller.start()
    try:
        asyncio.get_event_loop().run_forever()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
