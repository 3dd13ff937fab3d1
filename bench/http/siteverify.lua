-- wrk: POST /siteverify as a site's server does (form-encoded, SECRET), cycling through
-- the tokens in TOKENS_FILE (one per line) with a wrong answer. The first pass uses each
-- token up, later passes are refused as duplicates: both open the token and ask the replay
-- store, which is what a verify costs.
local secret = os.getenv("SECRET")
local tokens = {}
for line in io.lines(os.getenv("TOKENS_FILE")) do tokens[#tokens + 1] = line end
local index = 0

local threads = 0
function setup(thread)
  thread:set("offset", threads * 997)  -- each wrk thread starts elsewhere in the list
  threads = threads + 1
end

function request()
  index = index + 1
  local token = tokens[(index + (offset or 0)) % #tokens + 1]
  return wrk.format("POST", "/siteverify", {["Content-Type"] = "application/x-www-form-urlencoded"},
                    "secret=" .. secret .. "&response=" .. token .. ".WRONG")
end
