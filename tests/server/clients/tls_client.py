"""python-tds over TLS against tessel-sqld.

Usage: tls_client.py PORT PASSWORD MODE [CAFILE [HOST]]
MODE: plain (no encryption), login (the login alone encrypted), all, or
strict (TLS first with ALPN tds/8.0, then TDS inside it). HOST, when given,
is the name checked against the certificate. Prints "OK rows" or "ERR text".
"""
import socket
import ssl
import sys

import pytds

port, password, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]
cafile = sys.argv[4] if len(sys.argv) > 4 else None
host = sys.argv[5] if len(sys.argv) > 5 else None

kw = dict(server=host or "127.0.0.1", port=port, user="sa", password=password,
          login_timeout=10, timeout=20)
try:
    if mode == "strict":
        ctx = ssl.create_default_context(cafile=cafile)
        ctx.check_hostname = host is not None
        ctx.set_alpn_protocols(["tds/8.0"])
        raw = socket.create_connection(("127.0.0.1", port), 10)
        kw["sock"] = ctx.wrap_socket(raw, server_hostname=host or "127.0.0.1")
        assert kw["sock"].selected_alpn_protocol() == "tds/8.0"
    elif mode != "plain":
        kw.update(cafile=cafile, validate_host=host is not None, enc_login_only=mode == "login")
    with pytds.connect(**kw) as conn:
        cur = conn.cursor()
        cur.execute("select * from people")
        print("OK", cur.fetchall())
except Exception as e:  # the test reads the reason
    print("ERR", type(e).__name__, e)
