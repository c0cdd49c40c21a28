"""python-tds with multiple active result sets against tessel-sqld.

Usage: mars_client.py PORT SA_PASSWORD. Prints one line per check and exits
non-zero on the first failure.
"""
import sys
import time

import pytds

port, sa_password = int(sys.argv[1]), sys.argv[2]


def connect(**kw):
    return pytds.connect(server="127.0.0.1", port=port, user="sa", password=sa_password,
                         login_timeout=10, timeout=20, autocommit=True, **kw)


with connect(use_mars=True) as conn:
    assert conn.mars_enabled, "MARS not agreed"
    # The release LOGINACK names.
    assert conn.product_version >> 24 == 15, hex(conn.product_version)
    a = conn.cursor()
    b = conn.cursor()
    # A result far over the client's window waits while another session works.
    a.execute("with n as (select 1 v union all select v + 1 from n where v < 20000)"
              " select v from n option (maxrecursion 0)")
    first = a.fetchmany(10)
    b.execute("select @@spid, cast(serverproperty('ProductVersion') as varchar(20))")
    spid, version = b.fetchone()
    assert version == "15.0.2000.5", version
    rest = a.fetchall()
    assert len(first) + len(rest) == 20000, len(first) + len(rest)
    print("interleaved sessions OK")
    b.close()
    c = conn.cursor()  # a session closed and another opened
    c.execute("select 7")
    assert c.fetchone() == (7,)

    # KILL drops the connection at once, with a reset as SQL Server's.
    with connect() as killer:
        killer.cursor().execute("kill %d" % spid)
    sock = conn._conn.sock
    sock.settimeout(5)
    try:
        sys.exit("killed connection ended in order: %r" % sock.recv(1))
    except ConnectionResetError:
        print("killed connection reset")

print("OK")
