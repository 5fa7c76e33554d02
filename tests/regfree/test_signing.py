#!/usr/bin/env python3
"""Signs copies of the Windows deliverables the way a signed build does, with
a throwaway certificate authority and code-signing certificate made here,
and checks the signatures: osslsigncode verifies every file against that
authority; under Wine, tellavo --version reports a signed module as signed
by an untrusted root, the same module with one byte changed as changed
after signing, and the unsigned module as unsigned.

    test_signing.py --sign SIGN_FILE_PY --wine WINE_RUN --client TELLAVO_EXE
                    --module MODULE FILE... [--if-present FILE...]

MODULE is a module that the client can read (of its own bitness).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

PASSWORD = "throwaway password with blanks"


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          **kwargs)


def make_certificates(folder):
    """A certificate authority and a code-signing certificate it issued, the
    latter with its key in a password-protected PKCS#12 file."""
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, request = os.path.join(folder, "signer.key"), os.path.join(folder, "signer.csr")
    certificate, extensions = os.path.join(folder, "signer.pem"), os.path.join(folder, "ext")
    pkcs12 = os.path.join(folder, "signer.p12")
    with open(extensions, "w") as out:
        out.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                  "extendedKeyUsage=codeSigning\n")
    for command in (
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key,
         "-out", ca, "-days", "2", "-subj", "/CN=Tellavo Throwaway Test CA",
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
        ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
         "-subj", "/CN=Tellavo Throwaway Test Signer"],
        # The signer's certificate is signed with SHA-1: Wine's Authenticode
        # policy first looks the signer up in the Disallowed store by the
        # hash of its certificate's signature, cannot compute that hash for a
        # SHA-256 certificate, and then reports the file as trusted without
        # looking at the chain at all (Windows reports CERT_E_UNTRUSTEDROOT
        # for either). The file's own digest is SHA-256 all the same.
        ["openssl", "x509", "-req", "-sha1", "-in", request, "-CA", ca, "-CAkey", ca_key,
         "-CAcreateserial", "-out", certificate, "-days", "2", "-extfile", extensions],
        ["openssl", "pkcs12", "-export", "-inkey", key, "-in", certificate, "-certfile", ca,
         "-out", pkcs12, "-passout", "env:TELLAVO_TEST_P12_PASSWORD"],
    ):
        result = run(command, env=dict(os.environ, TELLAVO_TEST_P12_PASSWORD=PASSWORD))
        if result.returncode != 0:
            sys.exit(f"{command[0]} {command[1]} failed:\n{result.stdout}")
    return ca, pkcs12


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def signature(wine, client, module):
    result = run([wine, client, "--version", "--json", "--module", windows_path(module)])
    if result.returncode != 0:
        return f"tellavo --version failed: {result.stdout}"
    return json.loads(result.stdout.splitlines()[0])["module"]["signature"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sign", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--if-present", nargs="*", default=[])
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    faults = []
    with tempfile.TemporaryDirectory(prefix="tellavo-signing-") as folder:
        ca, pkcs12 = make_certificates(folder)
        environment = dict(os.environ, TELLAVO_SIGN_PKCS12=pkcs12, TELLAVO_SIGN_PASSWORD=PASSWORD)
        files = args.files + [f for f in args.if_present if os.path.exists(f)]
        signed = {}
        for number, original in enumerate(files):
            copy = os.path.join(folder, str(number), os.path.basename(original))
            os.makedirs(os.path.dirname(copy))
            shutil.copyfile(original, copy)
            result = run([sys.executable, args.sign, copy], env=environment)
            if result.returncode != 0:
                faults.append(f"signing {original} failed:\n{result.stdout}")
                continue
            signed[original] = copy
            verified = run(["osslsigncode", "verify", "-CAfile", ca, "-in", copy])
            if verified.returncode != 0 or "Signature verification: ok" not in verified.stdout:
                faults.append(f"{original}: the signed copy does not verify:\n{verified.stdout}")
            unsigned = run(["osslsigncode", "verify", "-CAfile", ca, "-in", original])
            if unsigned.returncode == 0:
                faults.append(f"{original}: the original was signed too")

        # Wine's WinVerifyTrust checks a module's digest and its chain.
        module = signed.get(args.module)
        if module is None:
            faults.append(f"{args.module} was not signed")
        else:
            changed = module + ".changed.dll"
            with open(module, "rb") as source:
                data = bytearray(source.read())
            # A byte of the code, far from the headers and the signature.
            data[len(data) // 3] ^= 0xFF
            with open(changed, "wb") as out:
                out.write(data)
            for path, expected in ((args.module, "unsigned"), (module, "untrusted-root"),
                                   (changed, "bad-digest")):
                found = signature(args.wine, args.client, path)
                if found != expected:
                    faults.append(f"{path}: signature {found!r}, expected {expected!r}")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
