"""python-tds against tessel-sqld: logins, queries, parameters, procedures.

Usage: pytds_client.py PORT PASSWORD. Prints one line per check and exits
non-zero on the first failure.
"""
import datetime
import decimal
import sys
import uuid

import pytds

port, password = int(sys.argv[1]), sys.argv[2]


def connect(pw, **kw):
    return pytds.connect(server="127.0.0.1", port=port, user="sa", password=pw,
                         login_timeout=10, timeout=20, **kw)


try:
    connect(password + "-wrong")
    sys.exit("wrong password was accepted")
except pytds.OperationalError as e:
    assert e.msg_no == 18456, e.msg_no
    assert str(e) == "Login failed for user 'sa'.", str(e)
    print("wrong password refused:", e.msg_no, e)

with connect(password) as conn:
    cur = conn.cursor()
    cur.execute("select 1 as a, 'x' as b, N'ж' as c")
    assert cur.fetchall() == [(1, "x", "ж")]
    assert [d[0] for d in cur.description] == ["a", "b", "c"]
    print("query ok")

    params = (7, "héllo", 2.5, decimal.Decimal("-1.25"), None, True,
              datetime.datetime(2020, 1, 2, 3, 4, 5), uuid.UUID(int=5), "x" * 5000)
    cur.execute("select " + ", ".join(["%s"] * len(params)), params)
    row = cur.fetchone()
    for got, sent in zip(row, params):
        assert got == sent, (repr(got)[:80], repr(sent)[:80])
    print("parameters ok")

    cur.execute("select * from types")
    row = cur.fetchone()
    assert row[0] == 255 and row[3] == -9007199254740993 and row[14] == "café", row
    assert row[17] == "long text é" and row[19] == b"\x01\x02\x03", row
    print("types ok")

    out = cur.callproc("sp_echo", (5, pytds.output(value=9, param_type="int")))
    assert cur.fetchall() == [(5, 9)]
    assert cur.get_proc_return_status() == 7
    print("callproc ok")

    try:
        cur.execute("select 1/0")
        sys.exit("error was not raised")
    except pytds.ProgrammingError as e:
        assert e.msg_no == 8134, e.msg_no
    except pytds.DatabaseError as e:
        assert e.msg_no == 8134, e.msg_no
    print("error ok")

    cur.execute("select 2")
    assert cur.fetchone() == (2,)
    conn.commit()
    conn.rollback()
    print("transactions ok")

print("OK")
