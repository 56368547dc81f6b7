-- wrk: learners watching lessons as the engine fetches them. Each learner asks for a
-- first range (the start-up buffer), then the next ranges in order, one every `pause`
-- milliseconds on average (0: as fast as the server answers), and a new lesson at a lesson's end.
-- wrk keeps no state per connection, so a thread's learners take turns at its requests.
-- args: chunk bytes, first bytes, file bytes, files, pause ms, learners per thread
local chunk, first, size, files, pause, count
local learners, turn = {}, 0

function init(args)
    chunk, first, size = tonumber(args[1]), tonumber(args[2]), tonumber(args[3])
    files, pause, count = tonumber(args[4]), tonumber(args[5]), tonumber(args[6])
    math.randomseed(os.time() + count)
    for i = 1, count do
        -- Learners are spread over the lessons and over their positions.
        learners[i] = { file = math.random(files), at = math.random(0, math.floor(size / chunk) - 1) * chunk }
    end
end

function request()
    turn = turn % count + 1
    local l = learners[turn]
    local from, length = l.at, chunk
    if from >= size then
        l.file, from, length = math.random(files), 0, first
    end
    local to = math.min(from + length, size) - 1
    l.at = to + 1
    return wrk.format("GET", "/lesson" .. l.file .. ".mp4", { Range = "bytes=" .. from .. "-" .. to })
end

-- Uniform from half to one and a half times the pause: learners who started together
-- drift apart, as learners do, while the mean stays the pause.
function delay()
    return pause * (0.5 + math.random())
end

function done(summary, latency, requests)
    local e = summary.errors
    io.write(string.format("RESULT requests=%d bytes=%d duration_us=%d p50_us=%d p99_us=%d errors=%d\n",
        summary.requests, summary.bytes, summary.duration, latency:percentile(50), latency:percentile(99),
        e.connect + e.read + e.write + e.status + e.timeout))
end
