#!/usr/bin/env python3
"""The service's unit and serve.env, started the way systemd 252 starts them, with no systemd
running: the drop-in that serve.env describes hands the service its sites file as a
credential, and the server must start with it. Emulated, as systemd documents them:
  - specifiers such as %d (the credentials folder) are replaced in the unit's lines;
  - EnvironmentFile= values are taken as they stand ($ is nothing special there);
  - in ExecStart=, ${VAR} is replaced inside a word, and $VAR standing alone as a word is
    split at whitespace into as many arguments (none when unset).
A path written in serve.env as ${CREDENTIALS_DIRECTORY}/... reaches the server as it is
written, and is refused: the check that the documented way is not that one.
Usage: systemd-unit.py QUILLGATE_BINARY"""
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BINARY = os.path.abspath(sys.argv[1])


def unit_lines(text, credentials):
    """The [Service] assignments of a unit or drop-in text, specifiers replaced."""
    lines = []
    for raw in text.splitlines():
        line = raw.strip()
        if not line or line.startswith(("#", ";", "[")):
            continue
        key, _, value = line.partition("=")
        lines.append((key, value.replace("%d", credentials).replace("%%", "%")))
    return lines


def environment_assignments(value):
    """Environment="A=b c" D=e: the variables of one Environment= line."""
    return dict(word.split("=", 1) for word in shlex.split(value))


def environment_file(text):
    variables = {}
    for raw in text.splitlines():
        line = raw.strip()
        if line and not line.startswith(("#", ";")):
            key, _, value = line.partition("=")
            variables[key.strip()] = value.strip()
    return variables


def expand_command(command, env):
    argv = []
    for word in shlex.split(command):
        alone = re.fullmatch(r"\$([A-Za-z_][A-Za-z0-9_]*)", word)
        if alone:
            argv.extend(env.get(alone.group(1), "").split())
        else:
            argv.append(re.sub(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}", lambda m: env.get(m.group(1), ""), word))
    return argv


def start(serve_env, drop_in, work):
    """Starts the service as systemd would; returns (started, what it printed)."""
    state = os.path.join(work, "state")
    credentials = os.path.join(work, "credentials")
    os.makedirs(state, mode=0o700, exist_ok=True)
    os.makedirs(credentials, mode=0o700, exist_ok=True)
    unit = open(os.path.join(ROOT, "Service/systemd/quillgate.service.in"), encoding="utf-8").read()
    unit = unit.replace("@QUILLGATE_BINDIR@", os.path.dirname(BINARY)).replace("@QUILLGATE_CONFIG_DIR@", work)
    env = {"STATE_DIRECTORY": state, "CREDENTIALS_DIRECTORY": credentials}
    command = None
    for key, value in unit_lines(unit, credentials) + unit_lines(drop_in, credentials):
        if key == "LoadCredential":
            name, source = value.split(":", 1)
            data = open(source, "rb").read()
            target = os.path.join(credentials, name)
            fd = os.open(target, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o400)
            os.write(fd, data)
            os.close(fd)
        elif key == "Environment":
            env.update(environment_assignments(value))
        elif key == "ExecStart":
            command = value or None
    env.update(environment_file(serve_env))
    argv = expand_command(command, env)
    process = subprocess.Popen(argv, env={**os.environ, **env}, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    deadline = time.monotonic() + 20
    first = process.stdout.readline()
    started = first.startswith("Listening on")
    process.terminate() if process.poll() is None else None
    rest = process.communicate(timeout=max(1, deadline - time.monotonic()))[0]
    return started, first + rest


def main():
    serve_env = open(os.path.join(ROOT, "Service/systemd/serve.env"), encoding="utf-8").read()
    serve_env = serve_env.replace("127.0.0.1:8080", "127.0.0.1:0")
    # The drop-in exactly as serve.env's comment gives it.
    drop_in = "\n".join(line[4:] for line in serve_env.splitlines() if line.startswith("#   "))
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        sites = os.path.join(work, "sites.json")
        fd = os.open(sites, os.O_WRONLY | os.O_CREAT, 0o600)
        os.write(fd, b'{"sites": [{"sitekey": "qg_pk_unit0001", "secret": "qg_sk_'
                 + b"u" * 40 + b'", "origins": ["https://shop.example.org"]}]}')
        os.close(fd)
        drop_in = drop_in.replace("/etc/quillgate/sites.json", sites)
        started, output = start(serve_env, drop_in, work)
        if started and "(1 sites)" in output:
            print("ok   the unit with serve.env's drop-in starts with the sites file")
        else:
            failures += 1
            print("FAIL the unit with serve.env's drop-in did not start with the sites file:\n" + output)

        literal = serve_env.replace("QUILLGATE_SERVE_OPTIONS=",
                                    "QUILLGATE_SERVE_OPTIONS=--sites ${CREDENTIALS_DIRECTORY}/sites.json ")
        started, output = start(literal, drop_in.replace("Environment=", "#"), work)
        if not started and "${CREDENTIALS_DIRECTORY}/sites.json" in output:
            print("ok   a ${CREDENTIALS_DIRECTORY} path in serve.env reaches the server unexpanded")
        else:
            failures += 1
            print("FAIL a ${CREDENTIALS_DIRECTORY} path in serve.env was expected to fail:\n" + output)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
