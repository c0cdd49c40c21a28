"""Reads one fidelity table with python-tds, independently of the package.

Usage: readback.py HOST PORT USER DATABASE TABLE SCALE, the password on
standard input. Prints one line per row of `SELECT k, payload FROM TABLE ORDER BY
k`: "ROW <k> NULL", or "ROW <k> <hex>" where hex is the value's exact text in
UTF-8 (strings as read, bytes as they are, decimals at SCALE places, floats as
repr, dates and times in isoformat, GUIDs in lower case). Errors go to the
output as "ERROR <text>" and exit status 1.
"""
import datetime
import decimal
import sys
import uuid

import pytds


def text(value, scale):
    if isinstance(value, bytes):
        return value
    if isinstance(value, bool):
        return str(value).encode()
    if isinstance(value, decimal.Decimal):
        places = scale if scale >= 0 else 4
        with decimal.localcontext() as ctx:
            ctx.prec = 80  # 38 digits at any scale, without rounding
            return format(value.quantize(decimal.Decimal(1).scaleb(-places)), "f").encode()
    if isinstance(value, float):
        return repr(value).encode()
    if isinstance(value, datetime.datetime):
        return value.isoformat(sep=" ").encode()
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat().encode()
    if isinstance(value, uuid.UUID):
        return str(value).encode()
    return str(value).encode("utf-8")


def main():
    host, port, user, database, table, scale = sys.argv[1:7]
    password = sys.stdin.readline().rstrip("\n")
    with pytds.connect(server=host, port=int(port), user=user, password=password,
                       database=database, login_timeout=10, timeout=60,
                       autocommit=True) as conn:
        cur = conn.cursor()
        cur.execute("SELECT k, payload FROM " + table + " ORDER BY k")
        for k, v in cur.fetchall():
            print("ROW", k, "NULL" if v is None else text(v, int(scale)).hex())


try:
    main()
except Exception as e:  # reported to the test with its class
    print("ERROR", type(e).__name__, e)
    sys.exit(1)
