"""Runs a sample of the T-SQL conformance files through independent clients.

python-tds (pytds, pure Python TDS) and pymssql (FreeTDS db-lib underneath)
each run the files whole against a tessel-sqld process started here; tsql
(FreeTDS's command-line client) runs a few single statements. Rows and error
numbers are compared with what the files expect, values rendered as the
files write them (tests/server/engine/conformance/README.md). Column types
and informational messages are left to wire_conformance_test, which sees
them exactly through db-lib; these clients only report them loosely.

usage: sample_clients.py TESSEL_SQLD CONFORMANCE_DIR
"""

import datetime
import decimal
import os
import re
import secrets
import struct
import subprocess
import sys
import time
import uuid

import pymssql
import pytds

# Files the Python clients do not run, with the reason; db-lib runs them whole.
NOT_SAMPLED = {
    # Values of date, time, datetime2 and datetimeoffset are rendered to the
    # second's fraction of their scale, which render() does not do; pymssql
    # 2.2 also fails converting some time values itself.
    "datetime2.test",
    "fromparts.test",
}


# The files run through both Python clients; all of them, since they take
# a few seconds. DDL/DML, catalog, errors and functions must be among them.
def sample_files(directory):
    files = sorted(f for f in os.listdir(directory)
                   if f.endswith(".test") and f not in NOT_SAMPLED)
    for needed in ("ddl_dml.test", "catalog.test", "errors.test", "functions.test"):
        if needed not in files:
            raise RuntimeError("%s is missing from %s" % (needed, directory))
    return files


# Cases whose outcome a client does not compare, by (client, "file:line"),
# with the reason. They still run, for the cases after them.
SKIPPED = {
    # pymssql (FreeTDS's db-lib) hands a sql_variant value over as its raw
    # bytes, without the base type; the server's values are checked over
    # db-lib by the wire runner and by python-tds.
    ("pymssql", "variant.test:5"): "sql_variant values arrive as raw bytes",
    ("pymssql", "variant.test:50"): "sql_variant values arrive as raw bytes",
    ("pymssql", "sequences.test:178"): "sql_variant values arrive as raw bytes",
    ("pymssql", "sequences.test:186"): "sql_variant values arrive as raw bytes",
    ("pymssql", "sequences.test:191"): "sql_variant values arrive as raw bytes",
    ("pymssql", "sequences.test:199"): "sql_variant values arrive as raw bytes",
    ("pymssql", "system.test:93"): "sql_variant values arrive as raw bytes",
    ("pymssql", "collations.test:135"): "sql_variant values arrive as raw bytes",
    # Neither client reads the UTF-8 flag of a collation: varchar of a _UTF8
    # collation arrives as UTF-8 bytes, which they decode by the collation's
    # locale (code page 1252), as with SQL Server 2019. The engine and db-lib
    # runners compare these cases.
    ("pytds", "collations.test:408"): "varchar of a _UTF8 collation is decoded as code page 1252",
    ("pytds", "collations.test:424"): "varchar of a _UTF8 collation is decoded as code page 1252",
    ("pymssql", "collations.test:408"): "varchar of a _UTF8 collation is decoded as code page 1252",
    ("pymssql", "collations.test:424"): "varchar of a _UTF8 collation is decoded as code page 1252",
    # python-tds gives a money value inside a sql_variant as Decimal('2.5'),
    # the right value without the four decimals the file writes for money.
    ("pytds", "variant.test:50"): "money inside sql_variant is rendered without its scale",
}

# Statements run through tsql: (file, first line of the case's SQL). The
# expected rows come from the file; the file's earlier cases are not run, so
# these only use constants and the catalog.
TSQL_CASES = [
    ("functions.test", "SELECT 7 / 2, 7 % 3, 7.0 / 2, -7 / 2, 1 + 2 * 3, (1 + 2) * 3"),
    ("functions.test", "SELECT SUBSTRING('abcdef', 2, 3), LEFT('abcdef', 2), RIGHT('abcdef', 2), UPPER('aB'), LOWER('aB')"),
    ("functions.test", "SELECT CASE 2 WHEN 1 THEN 'one' WHEN 2 THEN 'two' ELSE 'many' END, CASE WHEN 1 > 2 THEN 'x' END"),
    ("errors.test", "SELECT * FROM nosuch"),
    ("errors.test", "SELECT CAST('abc' AS int)"),
    ("system.test", "SELECT schema_name(), SCHEMA_ID(), SCHEMA_NAME(1), SCHEMA_NAME(4), SCHEMA_ID('SYS'), SCHEMA_ID('information_schema'), SCHEMA_NAME(99), SCHEMA_ID('nothing')"),
    ("queries.test", "SELECT 1 AS n UNION SELECT 2 INTERSECT SELECT 3"),
    ("queries.test", "SELECT 1 AS except"),
    ("rowlimits.test", "SELECT t.id, t.name, t.v FROM (VALUES (1, 'a', 1.5), (2, 'bb', 2), (3, NULL, NULL)) AS t(id, name, v) ORDER BY t.id DESC"),
    ("collations_dbcs.test", "SELECT CAST(N'カタカナ' COLLATE Japanese_CI_AS AS varchar(8)), CAST(N'中文' COLLATE Chinese_PRC_CI_AS AS varchar(4)), CAST(N'한국어' COLLATE Korean_Wansung_CI_AS AS char(6))"),
]


class Case:
    def __init__(self, line, kind, args, connection):
        self.line = line
        self.kind = kind
        self.args = args
        self.connection = connection
        self.sql = ""
        self.expected = []

    def expected_errors(self):
        if self.kind == "statement" and self.args and self.args[0] == "error":
            return [int(a) for a in self.args[1:]]
        return None


def read_cases(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    cases = []
    connection = "main"
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        if not line or line.startswith("#") or not line.split():
            continue
        words = line.split()
        # "connection NAME" has no batch: the cases after it run on that session.
        if words[0] == "connection":
            if len(words) > 1:
                connection = words[1]
            continue
        c = Case(i, words[0], words[1:], connection)
        while i < len(lines) and lines[i] != "go":
            c.sql += lines[i] + "\n"
            i += 1
        i += 1
        if c.kind != "statement":
            while i < len(lines) and lines[i] != "":
                c.expected.append(lines[i])
                i += 1
        cases.append(c)
    return cases


# pytds hands decimal and money values over normalised (12.5 for 12.5000);
# their column's scale puts the digits back. Money is always four places.
MONEY_TYPES = (60, 110, 122)


REAL, FLTN = 59, 109


def column_formats(client, description):
    """Per column: the decimal scale to show, or "real" for a 4-byte float."""
    if client != "pytds":
        return [None] * len(description)
    out = []
    for d in description:
        if d[1] in MONEY_TYPES:
            out.append(4)
        elif d[1] == REAL or (d[1] == FLTN and d[3] == 4):
            out.append("real")
        else:
            out.append(d[5])
    return out


def render(v, fmt=None):
    if v is None:
        return "NULL"
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        if fmt == "real":
            return "%.7g" % v
        # pymssql does not say which columns are real: a value that is a
        # float32 and reads shorter with a real's digits is taken for one.
        short = "%.7g" % v
        if struct.unpack("f", struct.pack("f", v))[0] == v and float(struct.unpack("f", struct.pack("f", float(short)))[0]) == v:
            if len(short) < len("%.15g" % v):
                return short
        return "%.15g" % v
    if isinstance(v, decimal.Decimal):
        if isinstance(fmt, int):
            # 38 digits need more than the default context's 28.
            v = v.quantize(decimal.Decimal(1).scaleb(-fmt), context=decimal.Context(prec=80))
        return format(v, "f")
    if isinstance(v, datetime.datetime):
        ms = round(v.microsecond / 1000)
        return v.strftime("%Y-%m-%d %H:%M:%S") + ".%03d" % ms
    if isinstance(v, (bytes, bytearray)):
        return "0x" + bytes(v).hex().upper()
    if isinstance(v, uuid.UUID):
        return str(v).upper()
    return str(v)


def error_of(client, exc):
    """(number, text) of the server message an exception reports."""
    if client == "pytds":
        return getattr(exc, "number", None), getattr(exc, "text", None) or str(exc)
    # pymssql: (number, text) with db-lib's own message appended to the text.
    if len(exc.args) >= 2 and isinstance(exc.args[0], int):
        text = exc.args[1].decode("utf-8", "replace") if isinstance(exc.args[1], bytes) else str(exc.args[1])
        return exc.args[0], text.split("DB-Lib error message")[0]
    return None, str(exc)


def informational(client, cur, handled):
    """The batch's messages: "number text" from python-tds, only the texts
    from pymssql (its message handler is not told the numbers)."""
    if client != "pytds":
        return list(handled)
    return ["%d %s" % (e.msg_no, e.text) for _, e in cur.messages]


def run_batch(client, cur, sql, handled):
    """Returns (rows, error number or None, error text, messages)."""
    rows = []
    handled.clear()
    try:
        cur.execute(sql)
        while True:
            if cur.description:
                formats = column_formats(client, cur.description)
                rows.extend("|".join(render(v, f) for v, f in zip(r, formats)) for r in cur.fetchall())
            if not cur.nextset():
                break
    except (pytds.Error, pymssql.Error) as exc:
        number, text = error_of(client, exc)
        if client == "pytds":
            # Read the rest of the response, so that its messages are kept
            # and do not show up with the next batch.
            for _ in range(1000):
                try:
                    if not cur.nextset():
                        break
                except pytds.Error:
                    pass
        return rows, number, text, informational(client, cur, handled)
    return rows, None, "", informational(client, cur, handled)


# The files assume DB-Library's session defaults; python-tds logs in with the
# ANSI options on, and pymssql sets its own list unless told not to.
DBLIB_DEFAULTS = (
    "SET QUOTED_IDENTIFIER OFF SET ANSI_NULLS OFF SET ANSI_WARNINGS OFF "
    "SET ANSI_NULL_DFLT_ON OFF SET ARITHABORT OFF SET CURSOR_CLOSE_ON_COMMIT OFF "
    "SET CONCAT_NULL_YIELDS_NULL ON SET ANSI_PADDING OFF SET TEXTSIZE 2147483647")


def connect(client, port, password):
    if client == "pytds":
        conn = pytds.connect(
            "127.0.0.1", port=port, user="sa", password=password, database="tessel",
            autocommit=True, tds_version=pytds.tds_base.TDS74)
    else:
        # pymssql 2.2 knows TDS versions up to 7.3.
        conn = pymssql.connect(
            server="127.0.0.1", port=str(port), user="sa", password=password, database="tessel",
            autocommit=True, tds_version="7.3", conn_properties="")
    cur = conn.cursor()
    cur.execute(DBLIB_DEFAULTS)
    cur.close()
    return conn


def run_file(client, port, password, directory, name):
    failures = []
    passed = compared = 0
    handled = []
    # The file's connections by name, each opened when a case first names it.
    conns = {}
    cursors = {}

    def cursor_for(connection):
        if connection not in conns:
            conn = connect(client, port, password)
            conns[connection] = conn
            if client == "pymssql":
                conn._conn.set_msghandler(
                    lambda state, severity, server, proc, line, text: handled.append(
                        text.decode("utf-8", "replace")))
            cursors[connection] = conn.cursor()
        return cursors[connection]

    try:
        cursor_for("main")
        for c in read_cases(os.path.join(directory, name)):
            key = "%s:%d" % (name, c.line)
            cur = cursor_for(c.connection)
            rows, err, text, messages = run_batch(client, cur, c.sql, handled)
            if (client, key) in SKIPPED:
                print("%-8s %s not compared: %s" % (client, key, SKIPPED[(client, key)]))
                continue
            want_errors = c.expected_errors()
            if want_errors is not None:
                compared += 1
                if err in want_errors:
                    passed += 1
                else:
                    failures.append("%s %s: expected error %s, got %s %s" % (client, key, want_errors, err, text))
                continue
            if c.kind == "metadata":
                # Run for its effects; types are compared over db-lib only.
                if err is not None:
                    failures.append("%s %s: unexpected error %s %s" % (client, key, err, text))
                continue
            if c.kind == "message":
                # Every message of the batch must be the file's: with their
                # numbers from python-tds, their texts from pymssql, whose
                # raised error must also be one of the file's.
                compared += 1
                wanted = c.expected
                if client == "pytds":
                    # python-tds drops 3621 ("The statement has been
                    # terminated.") from its list when it raises the error.
                    if err is not None:
                        wanted = [m for m in wanted if not m.startswith("3621 ")]
                    ok = messages == wanted
                else:
                    ok = messages == [m.split(" ", 1)[1] for m in wanted] and (
                        err is None or "%d %s" % (err, text) in wanted)
                if not ok:
                    failures.append("%s %s: messages %s, raised %s %s, expected %s" % (client, key, messages, err, text, wanted))
                    continue
                passed += 1
                continue
            compared += 1
            if err is not None:
                failures.append("%s %s: unexpected error %s %s" % (client, key, err, text))
                continue
            if c.kind == "query":
                want = list(c.expected)
                if "rowsort" in c.args:
                    rows, want = sorted(rows), sorted(want)
                if rows != want:
                    failures.append("%s %s:\n%s  expected %s\n  got      %s" % (client, key, c.sql, want, rows))
                    continue
            passed += 1
    finally:
        for conn in conns.values():
            conn.close()
    return passed, compared, failures


def tsql_run(port, password, sql):
    # A UTF-8 locale: tsql writes text in the locale's character set.
    env = dict(os.environ, TDSVER="7.4", LC_ALL="C.UTF-8")
    proc = subprocess.run(
        ["tsql", "-H", "127.0.0.1", "-p", str(port), "-U", "sa", "-P", password, "-D", "tessel", "-o", "fhq"],
        input=sql + "\ngo\nexit\n", capture_output=True, text=True, encoding="utf-8",
        errors="replace", env=env, timeout=60)
    return proc.stdout + proc.stderr


def tsql_check(port, password, directory):
    failures = []
    passed = 0
    for name, first in TSQL_CASES:
        case = next(c for c in read_cases(os.path.join(directory, name)) if c.sql.split("\n")[0] == first)
        out = tsql_run(port, password, case.sql.strip())
        want_errors = case.expected_errors()
        if want_errors is not None:
            got = [int(n) for n in re.findall(r"Msg (\d+)", out)]
            if any(n in got for n in want_errors):
                passed += 1
            else:
                failures.append("tsql %s:%d: expected error %s, got:\n%s" % (name, case.line, want_errors, out))
            continue
        # tsql writes values tab-separated and NULL as NULL; drop its prompts.
        rows = [l.replace("\t", "|") for l in out.split("\n") if l and not re.match(r"^(locale|using|Setting|\d+>|\(\d+ rows? affected\))", l)]
        if rows == case.expected:
            passed += 1
        else:
            failures.append("tsql %s:%d: expected %s, got %s\n%s" % (name, case.line, case.expected, rows, out))
    return passed, len(TSQL_CASES), failures


def kill_check(port, password):
    """KILL closes the victim's connection at once, even while it is idle:
    its session leaves sys.dm_exec_sessions without the victim sending
    anything (python-tds itself would reconnect on the victim's next
    request)."""
    victim = connect("pytds", port, password)
    killer = connect("pytds", port, password)
    try:
        vcur = victim.cursor()
        vcur.execute("SELECT @@SPID")
        spid = vcur.fetchone()[0]
        kcur = killer.cursor()
        listed = "SELECT count(*) FROM sys.dm_exec_sessions WHERE session_id = %d" % spid
        kcur.execute(listed)
        if kcur.fetchone()[0] != 1:
            return ["kill: the victim is not listed in sys.dm_exec_sessions"]
        kcur.execute("KILL %d" % spid)
        deadline = time.monotonic() + 3
        while True:
            kcur.execute(listed)
            if kcur.fetchone()[0] == 0:
                return []
            if time.monotonic() > deadline:
                return ["kill: the killed session is still listed after 3 s"]
            time.sleep(0.05)
    finally:
        killer.close()


def parameters_check(port, password):
    """What the files cannot send: table-valued parameters (through
    sp_executesql and to a procedure, with rows, empty and NULL) and an xml
    parameter, from python-tds."""
    conn = connect("pytds", port, password)
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append("parameters: %s: got %r, expected %r" % (what, got, want))

    def pairs(rows):
        return pytds.TableValuedParam(
            type_name="dbo.Pairs", rows=rows,
            columns=(pytds.Column(type=pytds.tds_types.IntType()),
                     pytds.Column(type=pytds.tds_types.NVarCharType(size=20))))

    try:
        cur = conn.cursor()
        cur.execute("CREATE TYPE dbo.Pairs AS TABLE (k int NOT NULL PRIMARY KEY, v nvarchar(20) NULL)")
        cur.execute("CREATE PROCEDURE pair_sum @p Pairs READONLY, @add int = 0 AS "
                    "SELECT count(*), sum(k) + @add, max(len(v)) FROM @p")
        rows = [(3, "x" * 20), (1, "één"), (2, None)]
        # python-tds takes the columns' types from the first row.
        cur.execute("SELECT k, v FROM %s ORDER BY k",
                    (pytds.TableValuedParam(type_name="dbo.Pairs", rows=rows),))
        expect("rows through sp_executesql", cur.fetchall(), sorted(rows))
        cur.callproc("pair_sum", (pairs(rows), 10))
        expect("procedure call", cur.fetchall(), [(3, 16, 20)])
        for empty in ([], None):
            cur.callproc("pair_sum", (pairs(empty),))
            expect("%r table" % (empty,), cur.fetchall(), [(0, None, None)])
        try:
            cur.callproc("pair_sum", (pairs([(1, "a"), (1, "b")]),))
            failures.append("parameters: a duplicate key was accepted")
        except pytds.Error as e:
            expect("duplicate key error", e.msg_no, 2627)
        # Columns the client leaves to their defaults: identity and DEFAULT.
        cur.execute("CREATE TYPE dbo.Rows AS TABLE (n int IDENTITY(5, 5), v int, "
                    "d varchar(10) DEFAULT ('dflt' + 'x'))")
        default = pytds.tds_base.TVP_COLUMN_DEFAULT_FLAG
        cur.execute("SELECT n, v, d FROM %s ORDER BY n", (pytds.TableValuedParam(
            type_name="dbo.Rows", rows=[(None, 7, None), (None, 8, None)],
            columns=(pytds.Column(type=pytds.tds_types.IntType(), flags=default),
                     pytds.Column(type=pytds.tds_types.IntType()),
                     pytds.Column(type=pytds.tds_types.VarCharType(size=10), flags=default))),))
        expect("defaulted columns", cur.fetchall(), [(5, 7, "dfltx"), (10, 8, "dfltx")])
        cur.execute("SELECT %s, len(%s)", (pytds.Column(type=pytds.tds_types.XmlType(), value="<a>é</a>"),
                                           pytds.Column(type=pytds.tds_types.XmlType(), value="<b/>")))
        expect("xml parameters", cur.fetchall(), [("<a>é</a>", 4)])
    except pytds.Error as e:
        failures.append("parameters: unexpected error %s" % e)
    finally:
        conn.close()
    return failures


class Server:
    """A tessel-sqld process with in-memory databases on an ephemeral port."""

    def __init__(self, program):
        self.password = "wire-" + secrets.token_hex(8)
        self.proc = subprocess.Popen(
            [program, "--port", "0", "--password", self.password, "--memory", "--quiet"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first = self.proc.stdout.readline().decode().strip()
        m = re.match(r"^tessel-sqld listening on 127\.0\.0\.1:(\d+)$", first)
        if not m:
            self.stop()
            raise RuntimeError("tessel-sqld did not report its port; first line: %r" % first)
        self.port = int(m.group(1))

    def stop(self):
        self.proc.terminate()
        self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def main():
    program, directory = sys.argv[1], sys.argv[2]
    failures = []
    # Like the in-process runner: a fresh server for every file.
    for client in ("pytds", "pymssql"):
        for name in sample_files(directory):
            with Server(program) as server:
                passed, compared, fails = run_file(client, server.port, server.password, directory, name)
            print("%-8s %-18s %d/%d" % (client, name, passed, compared))
            failures += fails
    with Server(program) as server:
        fails = kill_check(server.port, server.password)
    print("%-8s %-18s %s" % ("pytds", "kill", "failed" if fails else "ok"))
    failures += fails
    with Server(program) as server:
        fails = parameters_check(server.port, server.password)
    print("%-8s %-18s %s" % ("pytds", "parameters", "failed" if fails else "ok"))
    failures += fails
    with Server(program) as server:
        passed, compared, fails = tsql_check(server.port, server.password, directory)
    print("%-8s %-18s %d/%d" % ("tsql", "sample", passed, compared))
    failures += fails
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
