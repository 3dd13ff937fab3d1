"""The audio part of tools/solver-scorecard.py: a learned solver of the service's audio
challenges, built as an attacker who has the source builds one.

It makes labelled recordings with the service's own recording code (build/audio_batch, which
links it; build/audio_batch_revision links an earlier revision's, for the "before" column),
trains a classifier on them, then reads fresh challenges from a running `quillgate serve`
(started here on a free loopback port with its own key and sites files) and answers each
through /api/verify.

The solver: log-mel features (25 ms frames every 10 ms, 32 bands), a window of 330 ms
around every frame, and one classifier (a small network, or an RBF SVM) that says which
letter is centred on that frame or that none is. It is trained on frames at the centres of
letters (where the recording code reports where each letter lies; otherwise where cutting by
energy finds as many pieces as the code has letters) and on frames far from any. A
recording is read by either of two cuts, both reported:
  - slide: the classifier's "a letter is centred here" at every frame, and the five frames
    at least a letter's least spacing apart that together score best (dynamic programming);
    it does not need silence between the letters;
  - energy: pieces above an energy threshold chosen so that there are five, each read at its
    centre (falling back to slide when no threshold gives five).

Needs Debian's python3-numpy, python3-scipy and python3-sklearn (installed on demand).
"""
import http.client
import json
import os
import random
import re
import secrets
import selectors
import signal
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

from edit_distance import edit_distance

SAMPLE_RATE = 8000
ALPHABET = "2345689ABCDEFGHJKMNPQRSTUVWXYZ"  # the default code type's
LENGTH = 5
FRAME, HOP, FFT, BANDS = 200, 80, 256, 32
CONTEXT = 16  # frames either side: 330 ms in all, about a letter
STEP = 2      # of which every second is kept
NONE = len(ALPHABET)  # the class "no letter is centred here"
PLAIN_ENV = dict(os.environ, LC_ALL="C")


# ---- features ---------------------------------------------------------------------------

def wave_samples(data):
    """The samples of a 16-bit mono PCM WAV file's bytes (the service's 44-byte header)."""
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a WAV file")
    return np.frombuffer(data[44:], dtype="<i2").astype(np.float32) / 32768.0


def _mel_filters():
    def mel(f):
        return 2595 * np.log10(1 + f / 700)

    def hz(m):
        return 700 * (10 ** (m / 2595) - 1)

    edges = hz(np.linspace(mel(60), mel(3900), BANDS + 2))
    bins = np.fft.rfftfreq(FFT, 1 / SAMPLE_RATE)
    filters = np.zeros((BANDS, len(bins)), dtype=np.float32)
    for b in range(BANDS):
        low, centre, high = edges[b], edges[b + 1], edges[b + 2]
        rising = (bins - low) / (centre - low)
        falling = (high - bins) / (high - centre)
        filters[b] = np.clip(np.minimum(rising, falling), 0, None)
    return filters


MEL = _mel_filters()
HANN = np.hanning(FRAME).astype(np.float32)


def log_mel(samples):
    """Frames x bands, each band less its mean over the recording (the level and colour of
    the whole recording say nothing of its letters)."""
    padded = np.concatenate([np.zeros(FRAME // 2, np.float32), samples, np.zeros(FRAME, np.float32)])
    count = max(1, (len(padded) - FRAME) // HOP)
    index = np.arange(FRAME)[None, :] + HOP * np.arange(count)[:, None]
    spectrum = np.abs(np.fft.rfft(padded[index] * HANN, FFT)) ** 2
    features = np.log(spectrum @ MEL.T + 1e-8)
    return (features - features.mean(axis=0)).astype(np.float32)


def windows(features, frames):
    """The context window around each of `frames`, flattened."""
    padded = np.pad(features, ((CONTEXT, CONTEXT), (0, 0)), mode="edge")
    offsets = np.arange(0, 2 * CONTEXT + 1, STEP)
    frames = np.asarray(frames)
    return padded[frames[:, None] + offsets[None, :]].reshape(len(frames), -1)


def frame_energy(samples):
    """dB of each 10 ms frame, smoothed over three."""
    count = len(samples) // HOP
    energy = (samples[:count * HOP].reshape(count, HOP) ** 2).mean(axis=1) + 1e-10
    db = 10 * np.log10(energy)
    return np.convolve(db, np.ones(3) / 3, mode="same")


def energy_pieces(samples, length=LENGTH):
    """Centres (frames) of `length` pieces above some energy threshold, or None when no
    threshold cuts the recording into exactly that many (gaps under 50 ms are bridged and
    pieces under 80 ms dropped)."""
    db = frame_energy(samples)
    top = db.max()
    for below in np.arange(3, 40, 1.0):
        loud = db > top - below
        pieces, start, quiet = [], None, 0
        for i, on in enumerate(loud):
            if on:
                if start is None:
                    start = i
                quiet = 0
            elif start is not None:
                quiet += 1
                if quiet >= 5:
                    pieces.append((start, i - quiet + 1))
                    start, quiet = None, 0
        if start is not None:
            pieces.append((start, len(loud) - quiet))
        pieces = [(a, b) for a, b in pieces if b - a >= 8]
        if len(pieces) == length:
            return [(a + b) // 2 for a, b in pieces]
    return None


# ---- labelled recordings ----------------------------------------------------------------

def make_recordings(batch, folder, count, seed, workers):
    """`count` recordings of random codes by the recording code in `batch`: a list of
    (path, code, letter sample ranges or None)."""
    rng = random.Random(seed)
    jobs = []
    for i in range(count):
        code = "".join(rng.choice(ALPHABET) for _ in range(LENGTH))
        jobs.append((code, "%064x" % rng.getrandbits(256), os.path.join(folder, f"{seed}-{i}.wav")))
    def feed(process, share):
        process.stdin.write("".join(f"{code} {seed} {path}\n" for code, seed, path in share))
        process.stdin.close()

    processes = []
    for w in range(workers):
        process = subprocess.Popen([batch], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        processes.append(process)
        threading.Thread(target=feed, args=(process, jobs[w::workers]), daemon=True).start()
    layouts = {}
    for process in processes:
        out = process.stdout.read()
        process.wait()
        if process.returncode != 0:
            sys.exit(f"{batch} failed")
        for line in out.splitlines():
            fields = line.split()
            numbers = [int(x) for x in fields[1:]]
            layouts[fields[0]] = [(numbers[k], numbers[k + 1]) for k in range(0, len(numbers), 2)] or None
    return [(path, code, layouts.get(path)) for code, _, path in jobs]


def training_set(recordings, rng):
    """Windows at letters' centres (labelled with the letter) and far from any (labelled
    NONE), and the least spacing of two letters' centres seen, in frames."""
    xs, ys, spacings, used = [], [], [], 0
    for path, code, layout in recordings:
        with open(path, "rb") as f:
            samples = wave_samples(f.read())
        if layout is not None:
            centres = [((a + b) // 2) // HOP for a, b in layout]
        else:
            centres = energy_pieces(samples)
            if centres is None:
                continue
        used += 1
        features = log_mel(samples)
        last = len(features) - 1
        frames, labels = [], []
        for centre, letter in zip(centres, code):
            for d in range(-2, 3):
                frames.append(min(last, max(0, centre + d)))
                labels.append(ALPHABET.index(letter))
        far = [t for t in range(len(features)) if min(abs(t - c) for c in centres) > 10]
        for t in rng.sample(far, min(len(far), 12)):
            frames.append(t)
            labels.append(NONE)
        xs.append(windows(features, frames))
        ys.extend(labels)
        spacings.extend(b - a for a, b in zip(centres, centres[1:]))
    return np.concatenate(xs), np.array(ys), int(np.percentile(spacings, 1)), used


class Solver:
    def __init__(self, kind, seed):
        from sklearn.decomposition import PCA
        from sklearn.neural_network import MLPClassifier
        from sklearn.pipeline import make_pipeline
        from sklearn.preprocessing import StandardScaler
        from sklearn.svm import SVC
        self.kind = kind
        if kind == "mlp":
            # Small on purpose, as a bot's would be: it trains in minutes on two CPU cores.
            self.model = make_pipeline(StandardScaler(), PCA(n_components=100, whiten=True, random_state=seed),
                                       MLPClassifier(hidden_layer_sizes=(256,), alpha=1e-3, batch_size=256,
                                                     learning_rate_init=1e-3, max_iter=30, early_stopping=True,
                                                     validation_fraction=0.05, n_iter_no_change=4,
                                                     random_state=seed))
        else:
            self.model = make_pipeline(StandardScaler(), PCA(n_components=100, whiten=True, random_state=seed),
                                       SVC(C=10, gamma="scale", probability=True, random_state=seed))
        self.spacing = 15

    def fit(self, x, y, spacing):
        if self.kind == "svm" and len(y) > 25000:
            # An RBF SVM's training grows with the square of its samples: a random 25,000.
            keep = np.random.default_rng(0).choice(len(y), 25000, replace=False)
            x, y = x[keep], y[keep]
        self.model.fit(x, y)
        self.spacing = max(8, int(spacing * 0.85))

    def probabilities(self, samples):
        features = log_mel(samples)
        scores = self.model.predict_proba(windows(features, np.arange(len(features))))
        full = np.zeros((len(features), NONE + 1))
        full[:, self.model.classes_] = scores
        return full

    def letters_at(self, p, frames):
        return "".join(ALPHABET[int(np.argmax(p[max(0, t - 2):t + 3, :NONE].mean(axis=0)))] for t in frames)

    def slide(self, p, length=LENGTH):
        """The `length` frames, each at least self.spacing after the one before, whose
        chance of being a letter's centre is greatest together."""
        score = np.log(np.clip(1 - p[:, NONE], 1e-6, 1))
        score = np.convolve(score, np.ones(3) / 3, mode="same")
        n, gap = len(score), self.spacing
        best = np.full((length, n), -np.inf)
        back = np.zeros((length, n), dtype=int)
        best[0] = score
        for k in range(1, length):
            running, arg = -np.inf, -1
            for t in range(n):
                if t - gap >= 0 and best[k - 1, t - gap] > running:
                    running, arg = best[k - 1, t - gap], t - gap
                if arg >= 0:
                    best[k, t] = running + score[t]
                    back[k, t] = arg
        t = int(np.argmax(best[length - 1]))
        if not np.isfinite(best[length - 1, t]):
            return self.letters_at(p, np.linspace(0, n - 1, length).astype(int))
        frames = [t]
        for k in range(length - 1, 0, -1):
            t = back[k, t]
            frames.append(t)
        return self.letters_at(p, frames[::-1])

    def read(self, samples):
        """The code read both ways: {"slide": ..., "energy": ...}."""
        p = self.probabilities(samples)
        sliding = self.slide(p)
        pieces = energy_pieces(samples)
        return {"slide": sliding, "energy": sliding if pieces is None else self.letters_at(p, pieces)}


# ---- the server -------------------------------------------------------------------------

class Server:
    """`quillgate serve` on a free loopback port with its own key file and a sites file of
    one site whose /api/verify is open and whose buckets are off (a bot spreads over as many
    addresses as it needs; the per-address limits are measured elsewhere)."""

    def __init__(self, binary, folder):
        self.keys = os.path.join(folder, "keys")
        sites = os.path.join(folder, "sites.json")
        self.sitekey = "qg_pk_scorecard_" + secrets.token_hex(6)
        off = {"per_minute": 0, "burst": 1}
        document = {"sites": [{"name": "scorecard", "sitekey": self.sitekey, "secret": "qg_sk_" + secrets.token_hex(20),
                               "origins": ["*"],
                               "policy": {"verify_api": True,
                                          "limits": {"challenge": off, "audio": off, "verify": off}}}]}
        descriptor = os.open(sites, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(descriptor, "w") as f:
            json.dump(document, f)
        self.binary = binary
        self.log = open(os.path.join(folder, "serve.log"), "wb")
        self.process = subprocess.Popen([binary, "serve", "--listen", "127.0.0.1:0", "--secret-file", self.keys,
                                         "--sites", sites, "--quiet"], stdout=subprocess.PIPE, stderr=self.log,
                                        env=PLAIN_ENV)
        line = b""
        selector = selectors.DefaultSelector()
        selector.register(self.process.stdout, selectors.EVENT_READ)
        deadline = time.monotonic() + 30
        while b"\n" not in line and time.monotonic() < deadline and self.process.poll() is None:
            if selector.select(timeout=0.2):
                chunk = os.read(self.process.stdout.fileno(), 4096)
                if not chunk:
                    break
                line += chunk
        selector.close()
        match = re.search(rb"http://127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            with open(os.path.join(folder, "serve.log"), "rb") as f:
                sys.exit(f"{binary} serve did not start: {f.read().decode('utf-8', 'replace')[-400:]}")
        self.port = int(match.group(1))
        threading.Thread(target=lambda: [None for _ in iter(lambda: os.read(self.process.stdout.fileno(), 65536), b"")],
                         daemon=True).start()

    def call(self, method, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            headers = {"Content-Type": "application/json"} if body is not None else {}
            connection.request(method, path, body=None if body is None else json.dumps(body), headers=headers)
            reply = connection.getresponse()
            return reply.status, reply.read()
        finally:
            connection.close()

    def code_of(self, token):
        out = subprocess.run([self.binary, "token", "open", "--secret-file", self.keys, token], capture_output=True,
                             text=True, env=PLAIN_ENV, timeout=30, check=True)
        return json.loads(out.stdout)["code"]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def read_challenges(solver, binary, count, folder):
    """Reads `count` fresh challenges of a server: per challenge the true code, what each cut
    read, and whether the server accepted the slide cut's answer."""
    server = Server(binary, folder)
    results = []
    try:
        for _ in range(count):
            status, body = server.call("POST", "/api/challenge", {"sitekey": server.sitekey})
            if status != 200:
                sys.exit(f"challenge refused: {status} {body[:200]!r}")
            token = json.loads(body)["token"]
            status, wave = server.call("GET", "/api/audio/" + token)
            if status != 200:
                sys.exit(f"audio refused: {status} {wave[:200]!r}")
            truth = server.code_of(token)
            reads = solver.read(wave_samples(wave))
            best = reads[solver.cut]
            status, body = server.call("POST", "/api/verify", {"token": token, "answer": best})
            accepted = status == 200 and json.loads(body).get("success") is True
            results.append((truth, reads, accepted))
    finally:
        server.stop()
    return results


# ---- the measurement --------------------------------------------------------------------

def letters_right(guess, truth):
    return max(0.0, 1 - edit_distance(guess, truth) / len(truth))


def measure(label, batch, binary, args, workers):
    """Trains on recordings from `batch`, picks the better cut on held-out recordings, reads
    args.audio_challenges challenges of `binary`: one result row."""
    rng = random.Random(args.seed)
    started = time.time()
    with tempfile.TemporaryDirectory(prefix="quillgate-audio-") as folder:
        train = make_recordings(batch, folder, args.audio_train, args.seed, workers)
        held = make_recordings(batch, folder, args.audio_held_out, args.seed + 1000, workers)
        made = time.time()
        x, y, spacing, used = training_set(train, rng)
        labelled = "the recording code's letter positions" if train[0][2] is not None else \
            f"energy cuts ({used} of {len(train)} recordings cut into {LENGTH})"
        solver = Solver(args.audio_model, args.seed)
        solver.fit(x, y, spacing)
        trained = time.time()
        print(f"[{label}] {len(train)} recordings in {made - started:.0f} s; {len(y)} windows labelled by {labelled}; "
              f"{args.audio_model} trained in {trained - made:.0f} s", file=sys.stderr, flush=True)
        held_reads = []
        for path, code, _ in held:
            with open(path, "rb") as f:
                held_reads.append((code, solver.read(wave_samples(f.read()))))
        rates = {cut: sum(r[cut] == c for c, r in held_reads) / len(held_reads) for cut in ("slide", "energy")}
        solver.cut = max(rates, key=rates.get)
        print(f"[{label}] held-out codes read: slide {100 * rates['slide']:.0f} %, energy {100 * rates['energy']:.0f} %; "
              f"answering with {solver.cut}", file=sys.stderr, flush=True)
        results = read_challenges(solver, binary, args.audio_challenges, folder)
    row = {"label": label, "challenges": len(results), "accepted": sum(a for _, _, a in results),
           "train": len(train), "seconds": time.time() - started, "cut": solver.cut}
    for cut in ("slide", "energy"):
        row[cut + "_codes"] = sum(r[cut] == t for t, r, _ in results)
        row[cut + "_letters"] = 100 * sum(letters_right(r[cut], t) for t, r, _ in results) / len(results)
    confusions = {}
    for truth, reads, _ in results:
        for a, b in zip(truth, reads[solver.cut]):
            if a != b:
                confusions[a] = confusions.get(a, 0) + 1
    row["worst"] = ", ".join(f"{k} {v}" for k, v in sorted(confusions.items(), key=lambda kv: -kv[1])[:5])
    print(f"[{label}] {row}", file=sys.stderr, flush=True)
    return row


def run(args):
    """The audio scorecard: before (an earlier binary and its revision's recording code) and
    after (the current build), as a Markdown table."""
    workers = os.cpu_count() or 1
    targets = []
    if args.before:
        subprocess.run(["cmake", "-DQUILLGATE_AUDIO_REVISION=" + args.before_revision, args.build], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", args.build, "--target", "audio_batch_revision"], check=True,
                       stdout=subprocess.DEVNULL)
        targets.append((f"before ({args.before_revision}, {os.path.basename(args.before)})",
                        os.path.join(args.build, "audio_batch_revision"), os.path.abspath(args.before)))
    if not args.before_only:
        subprocess.run(["cmake", "--build", args.build, "--target", "audio_batch", "quillgate"], check=True,
                       stdout=subprocess.DEVNULL)
        targets.append(("after (this build)", os.path.join(args.build, "audio_batch"),
                        os.path.join(args.build, "quillgate")))
    rows = [measure(label, batch, binary, args, workers) for label, batch, binary in targets]
    lines = ["| recordings | codes read (slide cut) | letters right | codes read (energy cut) | letters right | "
             "accepted by /api/verify | most missed letters |", "|---|---|---|---|---|---|---|"]
    for r in rows:
        n = r["challenges"]
        lines.append(f"| {r['label']} | {r['slide_codes']} of {n} | {r['slide_letters']:.0f} % | "
                     f"{r['energy_codes']} of {n} | {r['energy_letters']:.0f} % | {r['accepted']} of {n} ({r['cut']}) | "
                     f"{r['worst']} |")
    minutes = ", ".join("%.0f min" % (r["seconds"] / 60) for r in rows)
    summary = (f"A {args.audio_model} trained on {args.audio_train} recordings made with each revision's recording "
               f"code, then {args.audio_challenges} fresh challenges of each server read; {minutes} on {workers} "
               f"CPU cores.")
    text = "\n".join(lines) + "\n\n" + summary + "\n"
    print(text)
    out = args.out or os.path.join(args.build, "solver-scorecard-audio.md")
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)
