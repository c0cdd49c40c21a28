#!/usr/bin/env python3
"""tessel-sqld started with its systemd unit's command line and settings file.

The unit names the installed program and the system's folders; the test runs
the built program instead, with a copy of the settings whose folders point
into a scratch directory and whose port is 0. It checks that the service
serves, logs to standard error, stops cleanly on SIGTERM, and keeps committed
data (and only that) over a kill -9 and a restart.

Usage: service_test.py UNIT_FILE SETTINGS_FILE TESSEL_SQLD
"""
import os
import re
import shlex
import signal
import subprocess
import sys
import tempfile

import pytds

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def unit_command(unit_file):
    for line in open(unit_file, encoding="utf-8"):
        if line.startswith("ExecStart="):
            return shlex.split(line[len("ExecStart="):].strip())
    sys.exit(f"{unit_file}: no ExecStart line")


def scratch_settings(settings_file, scratch, password):
    """The unit's settings with the service's folders moved into scratch."""
    secret = os.path.join(scratch, "sa.password")
    with open(secret, "w", encoding="utf-8") as f:
        f.write(password + "\n")
    os.chmod(secret, 0o600)
    text = open(settings_file, encoding="utf-8").read()
    for key, value in (("port", "0"), ("data", os.path.join(scratch, "data")),
                       ("password-file", secret)):
        text, count = re.subn(rf"(?m)^{key}\s*=.*$", f"{key} = {value}", text)
        if count != 1:
            sys.exit(f"{settings_file}: expected one '{key} =' line, found {count}")
    copy = os.path.join(scratch, "tessel-sqld.conf")
    with open(copy, "w", encoding="utf-8") as f:
        f.write(text)
    return copy


class Service:
    def __init__(self, argv):
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        first = self.process.stdout.readline()
        match = re.match(r"tessel-sqld listening on 127\.0\.0\.1:(\d+)", first)
        if not match:
            self.process.kill()
            sys.exit(f"the service did not start: {first!r} {self.process.stderr.read()!r}")
        self.port = int(match.group(1))

    def connect(self, password, autocommit=True):
        return pytds.connect(server="127.0.0.1", port=self.port, user="sa", password=password,
                             database="tessel", autocommit=autocommit, login_timeout=10)

    def stop(self, sig):
        self.process.send_signal(sig)
        try:
            code = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = None
        return code, self.process.stderr.read()


def main():
    unit_file, settings_file, program = sys.argv[1:4]
    argv = unit_command(unit_file)
    check("--config" in argv, "the unit starts the server with its settings file")
    password = "svc-" + os.urandom(6).hex()
    with tempfile.TemporaryDirectory() as scratch:
        settings = scratch_settings(settings_file, scratch, password)
        argv = [program] + argv[1:]
        argv[argv.index("--config") + 1] = settings

        # Serves, logs to standard error, stops cleanly on SIGTERM.
        service = Service(argv)
        with service.connect(password) as conn, conn.cursor() as cur:
            cur.execute("CREATE TABLE kept (id int PRIMARY KEY, name varchar(20))")
            cur.execute("INSERT INTO kept VALUES (1, 'committed')")
        code, log = service.stop(signal.SIGTERM)
        check(code == 0, f"SIGTERM stops the server with exit code 0 (got {code})")
        check(log.strip() != "", "the server logs to standard error for the journal")

        # Committed data survives a kill -9; an open transaction does not.
        service = Service(argv)
        with service.connect(password) as conn, conn.cursor() as cur:
            cur.execute("INSERT INTO kept VALUES (2, 'also committed')")
        open_conn = service.connect(password, autocommit=False)
        open_conn.cursor().execute("INSERT INTO kept VALUES (3, 'never committed')")
        code, _ = service.stop(signal.SIGKILL)
        check(code == -signal.SIGKILL, "kill -9 ends the server")

        service = Service(argv)
        with service.connect(password) as conn, conn.cursor() as cur:
            cur.execute("SELECT id, name FROM kept ORDER BY id")
            rows = [tuple(r) for r in cur.fetchall()]
        check(rows == [(1, "committed"), (2, "also committed")],
              f"after kill -9 and a restart exactly the committed rows are there: {rows}")
        code, _ = service.stop(signal.SIGTERM)
        check(code == 0, "the restarted server stops cleanly")

    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
