#!/usr/bin/env python3
"""A site's back end checking a Quillgate answer: post the form's quillgate-response field
with the site's secret to /siteverify and trust only "success": true.
Usage: siteverify.py SERVER_URL SECRET RESPONSE [REMOTE_IP]"""
import json
import sys
import urllib.parse
import urllib.request


def verify(server, secret, response, remoteip=None):
    fields = {"secret": secret, "response": response}
    if remoteip:
        fields["remoteip"] = remoteip
    request = urllib.request.Request(server.rstrip("/") + "/siteverify",
                                     data=urllib.parse.urlencode(fields).encode())
    with urllib.request.urlopen(request, timeout=5) as reply:
        return json.load(reply)


if __name__ == "__main__":
    result = verify(*sys.argv[1:5])
    print(json.dumps(result))
    sys.exit(0 if result.get("success") is True else 1)
