#!/usr/bin/python3
"""A real SMTP server for the tests, on 127.0.0.1 only.

Two listeners on ports the system picks: a plain one that offers STARTTLS (unless
--no-starttls) and one that speaks TLS from the first byte. Both accept AUTH LOGIN for one
user, with or without TLS. Every message is saved raw (the DATA bytes, the doubled leading dots
undone) before the final reply goes out.

Addresses steer the replies, so a test can provoke a refusal from a real server:
  MAIL FROM:<refused...>   550
  RCPT TO:<unknown...>     550
  a message holding the line "X-Test-Refuse: yes"   554 after the final dot (saved all the same)

Files written to --folder:
  ready.json        {"plain": PORT, "tls": PORT}, once both listeners accept
  commands.log      one line per command: "<connection> <command as received>", plus
                    "<connection> CONNECT plain|tls", "<connection> TLS" after STARTTLS and
                    "<connection> LOGIN <user> accepted|refused" for each AUTH LOGIN
  NNNN.eml          the raw message, NNNN counting from 0001
  NNNN.json         {"from", "to", "user", "tls", "reply"} of that message
"""

import argparse
import asyncio
import functools
import itertools
import json
import logging
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.connections = itertools.count(1)
        self.messages = itertools.count(1)
        self.log = open(os.path.join(folder, "commands.log"), "a", buffering=1, encoding="utf-8",
                        errors="backslashreplace")

    def note(self, connection, text):
        self.log.write(f"{connection} {text}\n")

    def write_atomically(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path + ".tmp", "wb") as out:
            out.write(data)
        os.replace(path + ".tmp", path)


class Handler:
    def __init__(self, recorder):
        self.recorder = recorder

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if address.lower().startswith("refused"):
            return "550 5.7.1 Sender address rejected"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("unknown"):
            return "550 5.1.1 Recipient address rejected: User unknown"
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content
        refuse = b"\r\nX-Test-Refuse: yes\r\n" in b"\r\n" + raw
        reply = "554 5.6.0 Message refused by the test" if refuse else "250 OK: message saved"
        number = f"{next(self.recorder.messages):04d}"
        user = session.auth_data.login.decode("utf-8", "replace") if session.authenticated else None
        meta = {"from": envelope.mail_from, "to": envelope.rcpt_tos, "user": user,
                "tls": session.ssl is not None or server.implicit_tls, "reply": reply}
        self.recorder.write_atomically(number + ".eml", raw)
        self.recorder.write_atomically(number + ".json", json.dumps(meta).encode())
        return reply


class Authenticator:
    def __init__(self, user, password, recorder):
        self.user = user.encode()
        self.password = password.encode()
        self.recorder = recorder

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        ok = auth_data.login == self.user and auth_data.password == self.password
        self.recorder.note(server.connection, "LOGIN " + auth_data.login.decode("utf-8", "replace") +
                           (" accepted" if ok else " refused"))
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


class RecordingSMTP(SMTP):
    """Notes every command it is given before it acts on it."""

    def __init__(self, handler, recorder, implicit_tls, **kwargs):
        super().__init__(handler, **kwargs)
        self.recorder = recorder
        self.implicit_tls = implicit_tls
        self.connection = 0
        for command, method in list(self._smtp_methods.items()):
            self._smtp_methods[command] = self._recording(command, method)

    def _recording(self, command, method):
        @functools.wraps(method)
        async def recorded(arg):
            self.recorder.note(self.connection, command if arg is None else f"{command} {arg}")
            result = await method(arg)
            if command == "STARTTLS" and self._tls_protocol is not None:
                self.recorder.note(self.connection, "TLS")
            return result
        return recorded

    def connection_made(self, transport):
        if self.connection == 0:
            self.connection = next(self.recorder.connections)
            self.recorder.note(self.connection, "CONNECT " + ("tls" if self.implicit_tls else "plain"))
        super().connection_made(transport)


async def serve(arguments):
    recorder = Recorder(arguments.folder)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(arguments.cert, arguments.key)
    handler = Handler(recorder)
    authenticator = Authenticator(arguments.user, arguments.password, recorder)
    loop = asyncio.get_running_loop()

    def factory(implicit_tls):
        return RecordingSMTP(handler, recorder, implicit_tls, hostname="sieveclaw-test-smtp",
                             tls_context=None if implicit_tls or arguments.no_starttls else context,
                             authenticator=authenticator,
                             auth_require_tls=False, auth_exclude_mechanism=["PLAIN"], loop=loop)

    plain = await loop.create_server(lambda: factory(False), host="127.0.0.1", port=0)
    secure = await loop.create_server(lambda: factory(True), host="127.0.0.1", port=0, ssl=context)
    ports = {"plain": plain.sockets[0].getsockname()[1], "tls": secure.sockets[0].getsockname()[1]}
    recorder.write_atomically("ready.json", json.dumps(ports).encode())

    stop = loop.create_future()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, lambda: stop.done() or stop.set_result(None))
    await stop
    plain.close()
    secure.close()


def main():
    # aiosmtpd itself still fills the session's deprecated login_data and logs a warning for it
    # at every logon; real failures are errors.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("folder", "cert", "key", "user", "password"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--no-starttls", action="store_true")
    asyncio.run(serve(parser.parse_args()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
