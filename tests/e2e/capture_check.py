#!/usr/bin/python3
"""Reads what OpenAL Soft's wave writer captured of the program's output and
compares it with the exact images that pulsegen-wav writes.

The capture is 8-bit unsigned mono: 128 is silence, and the program's images
hold only the values 254 and 1, so every run of non-128 samples is sound.
A sound starts on an update boundary of the mixer, so positions are counted
from the first non-128 sample ("sound start").

Commands:
  wait CAPTURE MIN [SECONDS]   wait until length >= MIN; print the length
  settle CAPTURE RUNS TAIL [SECONDS]
                               wait until the capture holds at least RUNS
                               separate sounds and ends with at least TAIL
                               samples of silence
  plays CAPTURE TAIL IMAGE...  each image played whole, in order, apart by
                               silence, then at least TAIL samples of silence
  cut CAPTURE TAIL MAX IMAGE   the image cut short after at most MAX samples,
                               then silence reaching at least TAIL samples past
                               where the whole image would have ended
  loop CAPTURE TAIL MIN IMAGE [NEXT]
                               the image's whole periods repeated without a
                               seam for at least
                               MIN samples, then (if given) NEXT played whole
                               after the loop, then at least TAIL samples of
                               silence
Exit status 0 when the check holds, 1 with a message on standard error when
it does not.
"""
import os
import struct
import sys
import time

SILENCE = 128


class Failure(Exception):
    pass


def data_of(blob, name, allow_open_size):
    """Walks the RIFF chunks and returns the data chunk's bytes. A size of
    0xFFFFFFFF (not yet finalised) or one past the end takes the rest."""
    if len(blob) < 12 or blob[0:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise Failure(f"{name}: not a RIFF/WAVE file")
    pos = 12
    fmt = None
    while pos + 8 <= len(blob):
        chunk_id, size = struct.unpack_from("<4sI", blob, pos)
        body = pos + 8
        if chunk_id == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", blob, body)
        elif chunk_id == b"data":
            if fmt is None:
                raise Failure(f"{name}: data chunk before fmt chunk")
            tag, channels, rate, _, align, bits = fmt
            if tag not in (1, 0xFFFE) or channels != 1 or align != 1 or bits != 8:
                raise Failure(f"{name}: not 8-bit mono PCM: {fmt}")
            if body + size > len(blob):
                if not allow_open_size:
                    raise Failure(f"{name}: data chunk runs past the end")
                return blob[body:], rate
            return blob[body : body + size], rate
        pos = body + size + (size & 1)
    raise Failure(f"{name}: no data chunk")


def read_image(path):
    with open(path, "rb") as f:
        samples, rate = data_of(f.read(), path, False)
    if rate != 44100:
        raise Failure(f"{path}: image at {rate} Hz, the capture runs at 44100 Hz")
    if SILENCE in samples:
        raise Failure(f"{path}: image holds the silence value")
    return samples, rate


def read_capture(path):
    """Returns the samples from sound start on, and the number of silent
    samples before it. None while the capture holds no sound yet."""
    try:
        with open(path, "rb") as f:
            blob = f.read()
    except FileNotFoundError:
        return None
    if len(blob) < 12:
        return None
    try:
        samples, rate = data_of(blob, path, True)
    except Failure:
        return None  # header still being written
    if rate != 44100:
        raise Failure(f"{path}: captured at {rate} Hz")
    start = next((i for i, v in enumerate(samples) if v != SILENCE), None)
    if start is None:
        return None
    return samples[start:], start


def capture_or_fail(path):
    got = read_capture(path)
    if got is None:
        raise Failure(f"{path}: no sound captured")
    return got[0]


def first_difference(a, b):
    n = min(len(a), len(b))
    for i in range(n):
        if a[i] != b[i]:
            return i
    return n


def expect_equal(got, want, what):
    if got != want:
        i = first_difference(got, want)
        raise Failure(
            f"{what}: differs at sample {i} of {len(want)} (captured "
            f"{list(got[i : i + 6])}, expected {list(want[i : i + 6])}; "
            f"captured length {len(got)})"
        )


def split_trailing_silence(sound):
    end = len(sound)
    while end > 0 and sound[end - 1] == SILENCE:
        end -= 1
    return sound[:end], len(sound) - end


def expect_tail(tail_len, tail_min):
    if tail_len < tail_min:
        raise Failure(f"only {tail_len} silent samples at the end, wanted {tail_min}")


def tiled(image, length):
    reps = length // len(image) + 1
    return (image * reps)[:length]


def cmd_plays(capture, tail_min, images):
    sound = capture_or_fail(capture)
    body, tail_len = split_trailing_silence(sound)
    runs = [r for r in body.split(bytes([SILENCE])) if r]
    if len(runs) != len(images):
        raise Failure(
            f"{len(runs)} separate sounds captured (lengths "
            f"{[len(r) for r in runs]}), expected {len(images)}"
        )
    for n, (run, image) in enumerate(zip(runs, images), 1):
        expect_equal(run, image, f"sound {n}")
    expect_tail(tail_len, tail_min)
    print(f"{len(images)} whole plays of {[len(i) for i in images]} samples, "
          f"then {tail_len} silent samples")


def cmd_cut(capture, tail_min, max_len, image):
    sound = capture_or_fail(capture)
    body, tail_len = split_trailing_silence(sound)
    if SILENCE in body:
        raise Failure("the sound has a gap: " + str([len(r) for r in body.split(bytes([SILENCE]))]))
    expect_equal(body, image[: len(body)], "the cut sound")
    if len(body) > max_len:
        raise Failure(f"{len(body)} samples played before silence, wanted at most {max_len}")
    if len(sound) < len(image) + tail_min:
        raise Failure(
            f"the capture ends {len(sound)} samples after sound start: too early "
            f"to show the image ({len(image)} samples) was cut"
        )
    print(f"{len(body)} of {len(image)} samples played, then {tail_len} silent samples")


def period_of(image):
    """The shortest shift under which the image repeats itself."""
    for p in range(1, len(image) + 1):
        if image[p:] == image[: len(image) - p]:
            return p
    return len(image)


def loop_span(image):
    """What a looped sound repeats: the largest whole number of periods in the
    image, or the whole image when it is shorter than one period."""
    p = period_of(image)
    return image[: (len(image) // p) * p] if p < len(image) else image


def cmd_loop(capture, tail_min, min_len, image, following):
    sound = capture_or_fail(capture)
    body, tail_len = split_trailing_silence(sound)
    if following is not None:
        if len(body) < len(following):
            raise Failure(f"only {len(body)} samples of sound, the next run alone has {len(following)}")
        expect_equal(body[-len(following) :], following, "the next run's sound")
        body = body[: -len(following)]
        while body and body[-1] == SILENCE:
            body = body[:-1]
    if SILENCE in body:
        raise Failure("the loop has a gap: " + str([len(r) for r in body.split(bytes([SILENCE]))]))
    span = loop_span(image)
    expect_equal(body, tiled(span, len(body)), "the loop")
    if len(body) < min_len:
        raise Failure(f"the loop played {len(body)} samples, wanted at least {min_len}")
    expect_tail(tail_len, tail_min)
    print(
        f"loop of {len(body)} samples ({len(body) / len(span):.2f} spans of {len(span)} of "
        f"the image's {len(image)}), "
        + (f"then the next run's {len(following)} samples, " if following is not None else "")
        + f"then {tail_len} silent samples"
    )


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    cmd, capture, args = argv[1], argv[2], argv[3:]
    try:
        if cmd == "wait":
            want = int(args[0])
            limit = float(args[1]) if len(args) > 1 else 30.0
            deadline = time.monotonic() + limit
            while True:
                got = read_capture(capture)
                have = 0 if got is None else len(got[0])
                if have >= want:
                    print(have)
                    break
                if time.monotonic() > deadline:
                    raise Failure(f"{capture}: {have} samples of sound after {limit} s, waited for {want}")
                time.sleep(0.02)
        elif cmd == "settle":
            runs, tail = int(args[0]), int(args[1])
            limit = float(args[2]) if len(args) > 2 else 30.0
            deadline = time.monotonic() + limit
            while True:
                got = read_capture(capture)
                sound = b"" if got is None else got[0]
                body, tail_len = split_trailing_silence(sound)
                have = len([r for r in body.split(bytes([SILENCE])) if r])
                if have >= runs and tail_len >= tail:
                    break
                if time.monotonic() > deadline:
                    raise Failure(
                        f"{capture}: after {limit} s {have} sounds and {tail_len} silent "
                        f"samples at the end, waited for {runs} and {tail}"
                    )
                time.sleep(0.02)
        elif cmd == "plays":
            cmd_plays(capture, int(args[0]), [read_image(p)[0] for p in args[1:]])
        elif cmd == "cut":
            cmd_cut(capture, int(args[0]), int(args[1]), read_image(args[2])[0])
        elif cmd == "loop":
            following = read_image(args[3])[0] if len(args) > 3 else None
            cmd_loop(capture, int(args[0]), int(args[1]), read_image(args[2])[0], following)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except Failure as e:
        print(f"FAIL: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
