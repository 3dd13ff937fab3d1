-- wrk: POST /api/challenge with a fixed style (STYLE, default 31) for the site SITEKEY. With RATE set (requests
-- per second for the whole run) and CONNECTIONS (wrk's -c), each connection waits between
-- requests so that the total stays near RATE: Debian's wrk has no constant-rate mode.
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.body = '{"style":' .. (os.getenv("STYLE") or "31") .. ',"sitekey":"' .. (os.getenv("SITEKEY") or "default") .. '"}'

local rate = tonumber(os.getenv("RATE") or "")
local connections = tonumber(os.getenv("CONNECTIONS") or "")
if rate and connections then
  function delay()
    return 1000 * connections / rate
  end
end
