#!/usr/bin/python3
"""The peer of bench_pop3_pass: Python's poplib doing the same passes, one command at a time.

usage: poplib_pass.py HOST PORT USER PASSWORD CAFILE tls|plain headers|retr
Prints the seconds the pass took (logon to QUIT) and the number of messages seen.
"""
import poplib
import ssl
import sys
import time

host, port, user, password, cafile, mode, what = sys.argv[1:8]
port = int(port)

start = time.perf_counter()
if mode == "tls":
    context = ssl.create_default_context(cafile=cafile)
    client = poplib.POP3_SSL(host, port, context=context)
else:
    client = poplib.POP3(host, port)
client.user(user)
client.pass_(password)
count, _ = client.stat()
for n in range(1, count + 1):
    if what == "headers":
        client.top(n, 0)
    else:
        client.retr(n)
client.quit()
elapsed = time.perf_counter() - start
print(f"{elapsed:.6f} {count}")
