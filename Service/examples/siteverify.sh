#!/bin/sh
# A site's back end checking a Quillgate answer with curl: post the form's
# quillgate-response field with the site's secret to /siteverify.
# Usage: siteverify.sh SERVER_URL SECRET RESPONSE
curl -sS --fail-with-body --max-time 5 "$1/siteverify" \
  --data-urlencode "secret=$2" --data-urlencode "response=$3"
