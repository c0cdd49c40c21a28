"""python-tds against tessel-sqld: what sa may do and what a database user may not.

Usage: access_client.py PORT SA_PASSWORD. The server runs with
--login anna:Anna-pw1:d2 and --login bob:Bob-pw1. Prints one line per check
and exits non-zero on the first failure.
"""
import struct
import sys

import pytds

port, sa_password = int(sys.argv[1]), sys.argv[2]


def connect(user, pw, database=None):
    kw = {"database": database} if database else {}
    return pytds.connect(server="127.0.0.1", port=port, user=user, password=pw,
                         login_timeout=10, timeout=20, autocommit=True, **kw)


def expect_error(cur, sql, number):
    try:
        cur.execute(sql)
    except pytds.Error as e:
        assert e.msg_no == number, (sql, e.msg_no, str(e))
        print(number, "for", sql + ":", e)
        return
    sys.exit("no error %d for %s" % (number, sql))


sa = connect("sa", sa_password)
sacur = sa.cursor()
sacur.execute("create database d2")
sacur.execute("create table d2..t (v int) insert d2..t values (1)")
sacur.execute("create table acct (id int) insert acct values (1)")
sacur.execute("select @@spid")
sa_spid = sacur.fetchone()[0]

# anna is a user of d2 only: it starts there and may do what an owner may.
with connect("anna", "Anna-pw1") as anna:
    cur = anna.cursor()
    cur.execute("select db_name()")
    assert cur.fetchone()[0] == "d2"
    cur.execute("insert t values (2) create table mine (v int) drop table mine")
    cur.execute("select count(*) from t")
    assert cur.fetchone()[0] == 2
    cur.execute("select count(*) from master..sysdatabases")
    print("anna works in d2 and reads master")
    expect_error(cur, "select * from tessel..acct", 916)
    expect_error(cur, "use tessel", 916)
    expect_error(cur, "create database d3", 262)
    expect_error(cur, "drop database d2", 3701)
    expect_error(cur, "create table master..x (v int)", 262)
    expect_error(cur, "kill %d" % sa_spid, 6102)

try:
    connect("anna", "Anna-pw1", database="tessel")
    sys.exit("anna logged in to tessel")
except pytds.Error as e:
    assert e.msg_no in (4060, 18456) and "tessel" in str(e), (e.msg_no, str(e))
    print("anna's login to tessel refused:", e.msg_no, e)

# bob was given no databases: the default one, tessel, only.
with connect("bob", "Bob-pw1") as bob:
    cur = bob.cursor()
    cur.execute("select count(*) from acct")
    assert cur.fetchone()[0] == 1
    expect_error(cur, "use d2", 916)
    print("bob works in tessel only")

# sa's session is alive and sa may do everything.
sacur.execute("select count(*) from d2..t")
assert sacur.fetchone()[0] == 2
sacur.execute("create database d3")
expect_error(sacur, "kill 999", 6106)


def transaction_request(conn, kind, name, tail=b""):
    """Sends a Transaction Manager request python-tds has no call for
    (SAVE, or ROLLBACK to a name) on the connection's session."""
    from pytds import tds_base
    session = conn._conn.main_session
    session.messages = []
    encoded = name.encode("utf-16-le")
    with session.querying_context(tds_base.PacketType.TRANS):
        session._start_query()
        session._writer.write(struct.pack("<HB", kind, len(encoded)) + encoded + tail)
    session.process_simple_request()


# Savepoints as Transaction Manager requests: SAVE, ROLLBACK to it, and a
# rollback to a name nobody gave, refused with 6401.
with pytds.connect(server="127.0.0.1", port=port, user="sa", password=sa_password,
                   autocommit=False) as conn:
    cur = conn.cursor()
    cur.execute("create table #sp (a int) insert #sp values (1)")
    transaction_request(conn, 9, "sp1")
    cur.execute("insert #sp values (2)")
    transaction_request(conn, 8, "sp1", b"\x00")
    try:
        transaction_request(conn, 8, "nope", b"\x00")
        sys.exit("rollback to an unknown savepoint was accepted")
    except pytds.DatabaseError as e:
        assert e.msg_no == 6401, e.msg_no
    cur.execute("select count(*), @@trancount from #sp")
    assert cur.fetchall() == [(1, 1)]
    print("savepoints ok")

print("OK")
