#!/usr/bin/env python3
"""Signs one Windows file (a module, a program or an MSI) in place with an
Authenticode signature made by osslsigncode.

    sign-file.py [--osslsigncode PATH] [--timestamp URL] FILE

The certificate and its private key come from the PKCS#12 file named by the
environment variable TELLAVO_SIGN_PKCS12, the key's password from
TELLAVO_SIGN_PASSWORD (empty when unset). The password reaches osslsigncode
through a pipe that only it inherits, never on a command line, where any
user of the machine could read it, nor in a file. The file is replaced only
by a complete signed copy.
"""

import argparse
import os
import subprocess
import sys

# What Windows shows as the signed content's name.
DESCRIPTION = "Tellavo COM API"


def sign(osslsigncode, path, certificate, password, timestamp):
    signed = path + ".signing"
    read_end, write_end = os.pipe()
    try:
        command = [osslsigncode, "sign", "-pkcs12", certificate, "-readpass",
                   f"/dev/fd/{read_end}", "-h", "sha256", "-n", DESCRIPTION]
        if timestamp:
            command += ["-ts", timestamp]
        command += ["-in", path, "-out", signed]
        # A password is far shorter than a pipe's buffer: it is written whole
        # before osslsigncode starts to read.
        os.write(write_end, password.encode())
        os.close(write_end)
        write_end = None
        result = subprocess.run(command, pass_fds=(read_end,), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
    finally:
        os.close(read_end)
        if write_end is not None:
            os.close(write_end)
    if result.returncode != 0:
        if os.path.exists(signed):
            os.remove(signed)
        sys.exit(f"sign-file: cannot sign {path}:\n{result.stdout}")
    os.replace(signed, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--timestamp", help="RFC 3161 time-stamp server URL")
    parser.add_argument("file")
    args = parser.parse_args()
    certificate = os.environ.get("TELLAVO_SIGN_PKCS12")
    if not certificate:
        sys.exit("sign-file: TELLAVO_SIGN_PKCS12 names no PKCS#12 file to sign with")
    if not os.path.isfile(certificate):
        sys.exit(f"sign-file: TELLAVO_SIGN_PKCS12: no such file {certificate}")
    sign(args.osslsigncode, args.file, certificate,
         os.environ.get("TELLAVO_SIGN_PASSWORD", ""), args.timestamp)


if __name__ == "__main__":
    main()
