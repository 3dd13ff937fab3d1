#!/usr/bin/python3
"""How well a learned solver reads each text style: what a determined bot does.

Trains one small convolutional network (Debian's python3-torch, CPU only) on images that
`quillgate image` makes for a mix of all 50 styles (250 x 50 JPEG, five characters of the
default alphabet, as the service serves them by default), then reports each style's share
of held-out codes read exactly. It takes tens of minutes: a measurement to publish in the
README, not a test.

  tools/solver-scorecard.py [--train N] [--test N] [--epochs N] [--build DIR] [--out FILE]

--train and --test are images per style (default 300 and 60). Prints a Markdown table and
writes it to --out (default build/solver-scorecard.md).

With --audio it measures the audio challenges instead (tools/audio_attack.py says how; it
needs Debian's python3-numpy, python3-scipy and python3-sklearn, installed on demand): a
solver trained on recordings made with the service's own recording code reads fresh
challenges of a server started here, and answers them through /api/verify.

  tools/solver-scorecard.py --audio [--before BINARY [--before-revision REV]] [--before-only]
      [--audio-train N] [--audio-held-out N] [--audio-challenges N] [--audio-model mlp|svm]

--before measures an earlier binary too, with the recording code of REV (default d4e5d32)
to train on; the table (also in --out, default build/solver-scorecard-audio.md) has a row
for it and one for this build.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

from edit_distance import edit_distance

ALPHABET = "2345689ABCDEFGHJKMNPQRSTUVWXYZ"
LENGTH = 5
STYLES = 50
HEIGHT, WIDTH = 32, 128  # the network's input: the 250 x 50 image, scaled


def make_set(batch, folder, per_style, seed, workers):
    """Images of random codes for every style: a list of (path, style, code)."""
    rng = random.Random(seed)
    samples = []
    for style in range(STYLES):
        for i in range(per_style):
            code = "".join(rng.choice(ALPHABET) for _ in range(LENGTH))
            samples.append((os.path.join(folder, f"{style}-{i}.jpg"), style, code))
    # Split over `workers` processes of the batch drawer.
    shares = [samples[w::workers] for w in range(workers)]
    processes = []
    for share in shares:
        process = subprocess.Popen([batch], stdin=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        process.stdin.write("".join(f"{style} {code} {path}\n" for path, style, code in share))
        process.stdin.close()
        processes.append(process)
    for process in processes:
        if process.wait() != 0:
            sys.exit("image-batch failed")
    return samples


def load(samples, torch, Image):
    images = torch.empty((len(samples), 1, HEIGHT, WIDTH), dtype=torch.float32)
    labels = torch.empty((len(samples), LENGTH), dtype=torch.long)
    for n, (path, _, code) in enumerate(samples):
        with Image.open(path) as picture:
            gray = picture.convert("L").resize((WIDTH, HEIGHT), Image.BILINEAR)
            images[n, 0] = torch.frombuffer(bytearray(gray.tobytes()), dtype=torch.uint8).view(HEIGHT, WIDTH).float()
        labels[n] = torch.tensor([ALPHABET.index(c) for c in code])
    # Each image to zero mean and unit spread: the styles range from white on black to dark on
    # pale, and without this the network spends its first epochs learning only that.
    mean = images.mean(dim=(2, 3), keepdim=True)
    spread = images.std(dim=(2, 3), keepdim=True) + 1e-3
    return (images - mean) / spread, labels


def build_model(nn):
    def block(inputs, outputs, pool):
        return nn.Sequential(nn.Conv2d(inputs, outputs, 3, padding=1), nn.BatchNorm2d(outputs), nn.ReLU(),
                             nn.MaxPool2d(pool))

    class Solver(nn.Module):
        """Reads the image as a sequence of 32 columns and is trained with CTC, as text
        recognisers are: it need not learn where each letter sits, which a classifier per
        position must (that one stayed at chance for three epochs over all 50 styles)."""

        def __init__(self):
            super().__init__()
            # 32 x 128 -> 2 x 32: height halved four times, width twice. Small on purpose:
            # it trains in well under an hour on two CPU cores, as a bot's would.
            self.features = nn.Sequential(block(1, 32, 2), block(32, 48, 2), block(48, 64, (2, 1)),
                                          block(64, 96, (2, 1)))
            # Convolutions along the columns let each column see its neighbours' letters.
            self.sequence = nn.Sequential(nn.Conv1d(96 * 2, 192, 3, padding=1), nn.BatchNorm1d(192), nn.ReLU(),
                                          nn.Conv1d(192, 192, 3, padding=1), nn.BatchNorm1d(192), nn.ReLU(),
                                          nn.Dropout(0.2), nn.Conv1d(192, len(ALPHABET) + 1, 1))

        def forward(self, x):
            features = self.features(x)
            n, channels, height, width = features.shape
            columns = self.sequence(features.reshape(n, channels * height, width))
            return columns.permute(2, 0, 1)  # time, batch, letter (the last one is CTC's blank)

    return Solver()


def decode(scores):
    """Greedy CTC: the best letter per column, repeats merged, blanks dropped."""
    blank = len(ALPHABET)
    codes = []
    for row in scores.argmax(dim=2).t().tolist():
        letters, previous = [], None
        for k in row:
            if k != previous and k != blank:
                letters.append(k)
            previous = k
        codes.append(letters)
    return codes


def read(model, images, torch):
    model.eval()
    with torch.no_grad():
        return [code for s in range(0, len(images), 256) for code in decode(model(images[s:s + 256]))]


def install(packages):
    """Installs Debian's `packages` and runs this script again with them. Installed on
    demand, as the OCR measurement installs Tesseract: CI never needs them."""
    if os.environ.get("QUILLGATE_SCORECARD_INSTALLED"):
        sys.exit("solver-scorecard needs Debian's " + " and ".join(packages))
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    subprocess.run(["bash", os.path.join(root, "setup", "install-deps.sh"), *packages], check=True)
    os.environ["QUILLGATE_SCORECARD_INSTALLED"] = "1"
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--train", type=int, default=300)
    parser.add_argument("--test", type=int, default=60)
    parser.add_argument("--epochs", type=int, default=12)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--out", default=None)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--audio", action="store_true", help="measure the audio challenges")
    parser.add_argument("--before", help="with --audio: an earlier quillgate binary to measure too")
    parser.add_argument("--before-revision", default="d4e5d32", help="the revision --before was built from")
    parser.add_argument("--before-only", action="store_true", help="with --before: measure only it")
    parser.add_argument("--audio-train", type=int, default=4000, help="training recordings")
    parser.add_argument("--audio-held-out", type=int, default=200, help="recordings that choose the cut")
    parser.add_argument("--audio-challenges", type=int, default=100, help="challenges read from each server")
    parser.add_argument("--audio-model", choices=("mlp", "svm"), default="mlp")
    args = parser.parse_args()
    if args.audio:
        try:
            import numpy, scipy, sklearn  # noqa: F401
        except ImportError:
            install(["python3-numpy", "python3-scipy", "python3-sklearn"])
        import audio_attack
        audio_attack.run(args)
        return
    try:
        import torch
        from torch import nn
        from PIL import Image
    except ImportError:
        install(["python3-torch", "python3-pil"])
    subprocess.run(["cmake", "--build", args.build, "--target", "image_batch"], check=True, stdout=subprocess.DEVNULL)
    batch = os.path.join(args.build, "image_batch")
    out = args.out or os.path.join(args.build, "solver-scorecard.md")
    torch.manual_seed(args.seed)
    threads = os.cpu_count() or 1
    torch.set_num_threads(threads)
    started = time.time()

    with tempfile.TemporaryDirectory() as folder:
        os.makedirs(os.path.join(folder, "train"))
        os.makedirs(os.path.join(folder, "test"))
        train = make_set(batch, os.path.join(folder, "train"), args.train, args.seed, threads)
        test = make_set(batch, os.path.join(folder, "test"), args.test, args.seed + 1000, threads)
        train_x, train_y = load(train, torch, Image)
        test_x, test_y = load(test, torch, Image)
    made = time.time()
    print(f"made {len(train)} training and {len(test)} test images in {made - started:.0f} s", flush=True)

    model = build_model(nn)
    optimizer = torch.optim.Adam(model.parameters(), lr=1e-3)
    loss_of = nn.CTCLoss(blank=len(ALPHABET), zero_infinity=True)
    truths = test_y.tolist()
    for epoch in range(args.epochs):
        model.train()
        order = torch.randperm(len(train))
        total = 0.0
        for start in range(0, len(train), 64):
            batch = order[start:start + 64]
            x = train_x[batch]
            # A little shift, so that the network learns the letters rather than where they sit.
            x = torch.roll(x, shifts=(random.randint(-1, 1), random.randint(-3, 3)), dims=(2, 3))
            scores = model(x).log_softmax(dim=2)
            lengths = torch.full((len(batch),), scores.shape[0], dtype=torch.long)
            loss = loss_of(scores, train_y[batch], lengths, torch.full((len(batch),), LENGTH, dtype=torch.long))
            optimizer.zero_grad()
            loss.backward()
            optimizer.step()
            total += loss.item() * len(batch)
        guesses = read(model, test_x, torch)
        right = sum(g == t for g, t in zip(guesses, truths)) / len(truths)
        print(f"epoch {epoch + 1}/{args.epochs}: loss {total / len(train):.3f}, held-out codes read {100 * right:.1f} %, "
              f"{time.time() - made:.0f} s", flush=True)

    exact = torch.tensor([float(g == t) for g, t in zip(guesses, truths)])
    # Characters right by edit distance, as the OCR measurement counts them.
    characters = torch.tensor([max(0.0, 1 - edit_distance(g, t) / LENGTH) for g, t in zip(guesses, truths)])
    elapsed = time.time() - started
    lines = [f"| style | codes read exactly | characters right |", "|---|---|---|"]
    for style in range(STYLES):
        rows = [n for n, (_, s, _) in enumerate(test) if s == style]
        lines.append(f"| {style} | {100 * exact[rows].mean().item():.0f} % | "
                     f"{100 * characters[rows].mean().item():.0f} % |")
    lines.append(f"| all | {100 * exact.mean().item():.1f} % | {100 * characters.mean().item():.1f} % |")
    summary = (f"One network, {args.train} training images per style ({len(train)} in all), {args.epochs} epochs, "
               f"{args.test} held-out images per style; {elapsed / 60:.0f} minutes on {threads} CPU cores.")
    text = "\n".join(lines) + "\n\n" + summary + "\n"
    print(text)
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
