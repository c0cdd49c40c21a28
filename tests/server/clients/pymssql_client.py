"""pymssql (FreeTDS db-lib) against tessel-sqld: logins, its connect-time SET
batch, queries, parameters and callproc with an output parameter.

Usage: pymssql_client.py PORT PASSWORD.
"""
import sys

import pymssql

port, password = int(sys.argv[1]), sys.argv[2]


def connect(pw):
    return pymssql.connect(server="127.0.0.1", port=port, user="sa", password=pw,
                           login_timeout=10, timeout=20)


try:
    connect(password + "-wrong")
    sys.exit("wrong password was accepted")
except pymssql.OperationalError as e:
    number, text = e.args[0]
    assert number == 18456, e.args
    assert b"Login failed for user 'sa'." in text, e.args
    print("wrong password refused")

conn = connect(password)
cur = conn.cursor()
cur.execute("select * from people")
assert cur.fetchall() == [(1, "Ann", "Zürich"), (2, "Bob", None)]
print("query ok")

cur.execute("select %s, %s, %s", (3, "it's", None))
assert cur.fetchall() == [(3, "it's", None)]
print("parameters ok")

result = cur.callproc("sp_echo", (4, pymssql.output(int, 8)))
assert result == (4, 8), result
print("callproc ok")

try:
    cur.execute("bogus")
    sys.exit("error was not raised")
except pymssql.ProgrammingError as e:
    number = e.args[0][0] if isinstance(e.args[0], tuple) else e.args[0]
    assert number == 102, e.args
print("error ok")

conn.commit()
conn.close()
print("OK")
