"""Reads one value as a second client (python-tds) sees it.

Usage: read_back.py HOST[:PORT] USER PASSWORD DATABASE SQL
Prints the first column of the first row (None for NULL, a decimal with its
column's scale, which python-tds drops) and exits non-zero when the query
fails or returns no row.
"""
import decimal
import sys

import pytds

address, user, password, database, sql = sys.argv[1:6]
host, _, port = address.replace(",", ":").partition(":")
with pytds.connect(server=host, port=int(port or 1433), user=user, password=password,
                   database=database, login_timeout=10, timeout=20) as conn:
    cur = conn.cursor()
    cur.execute(sql)
    row = cur.fetchone()
    if row is None:
        sys.exit("no row")
    value = row[0]
    if isinstance(value, decimal.Decimal):
        value = value.quantize(decimal.Decimal(1).scaleb(-cur.description[0][5]))
    print(value)
