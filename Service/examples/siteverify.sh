#!/bin/sh
# A site's back end checking a Quillgate answer with curl: post the form's
# quillgate-response field with the site's secret to /siteverify, and accept it only when
# "success" is true and "hostname" is your site's (a token asked for with no page has an
# empty one). Prints the reply; exits 0 only for an accepted answer.
# Usage: siteverify.sh SERVER_URL SECRET RESPONSE HOSTNAME
reply=$(curl -sS --max-time 5 "$1/siteverify" \
  --data-urlencode "secret=$2" --data-urlencode "response=$3") || exit 1
printf '%s\n' "$reply"
# The server writes compact JSON, one member each: "success":true, "hostname":"...".
printf '%s' "$reply" | grep -q '"success":true' &&
  printf '%s' "$reply" | grep -qF "\"hostname\":\"$4\""
