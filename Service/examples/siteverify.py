#!/usr/bin/env python3
"""A site's back end checking a Quillgate answer: post the form's quillgate-response field
with the site's secret to /siteverify, and accept it only when "success" is true and
"hostname" is your site's (a token asked for with no page has an empty one).
Usage: siteverify.py SERVER_URL SECRET RESPONSE HOSTNAME [REMOTE_IP]"""
import json
import sys
import urllib.parse
import urllib.request


def verify(server, secret, response, hostname, remoteip=None):
    """The reply, and whether it accepts the answer for a page on `hostname`."""
    fields = {"secret": secret, "response": response}
    if remoteip:
        fields["remoteip"] = remoteip
    request = urllib.request.Request(server.rstrip("/") + "/siteverify",
                                     data=urllib.parse.urlencode(fields).encode())
    with urllib.request.urlopen(request, timeout=5) as reply:
        result = json.load(reply)
    return result, result.get("success") is True and result.get("hostname") == hostname


if __name__ == "__main__":
    result, accepted = verify(*sys.argv[1:6])
    print(json.dumps(result))
    sys.exit(0 if accepted else 1)
