"""The manual's pictures, rendered by putting test signals through the built
plug-in with tarvo-render, exactly as a host would process them, and
plotting what comes out. Each picture also yields the numbers the manual
quotes beside it (the "measured" blocks of docs/manual.md).

Test signals are 44.1 kHz stereo, written as 64-bit float WAV files;
tarvo-render compensates the plug-in's latency, so output and input line up
sample for sample.
"""

import os
import warnings
import subprocess
import tempfile
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.patches  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from scipy import signal as sps  # noqa: E402
from scipy.io import wavfile  # noqa: E402

RATE = 44100
SIZE = (9, 5)  # inches at 100 dpi: 900 x 500 pixels
DPI = 100

# Starting point of every measurement: program "Default" with everything
# that colours the sound switched off, so that a picture shows one stage.
NEUTRAL = ["Saturat.=Off", "14=Off", "Makeup=0", "MidScoop=0", "Dry/Wet=Off", "Input=0",
           "Mode=Stereo"]


class Renderer:
    """Runs tarvo-render on numpy signals."""

    def __init__(self, render, folder):
        self.render = render
        self.folder = Path(folder)
        self.count = 0

    def path(self, stem):
        self.count += 1
        return self.folder / f"{stem}-{self.count}.wav"

    def write(self, samples, stem):
        path = self.path(stem)
        stereo = np.column_stack([samples, samples]) if samples.ndim == 1 else samples
        wavfile.write(path, RATE, stereo.astype(np.float64))
        return path

    def __call__(self, samples, settings, sidechain=None, program="Default"):
        """The plug-in's output (frames x 2) for samples (mono or frames x 2)."""
        source = self.write(samples, "in")
        target = self.path("out")
        command = [self.render, str(source), str(target), "--format", "double", "--quiet",
                   "--program", program]
        if sidechain is not None:
            command += ["--sidechain", str(self.write(sidechain, "key"))]
        for setting in settings:
            command += ["--set", setting]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", wavfile.WavFileWarning)
            _, out = wavfile.read(target)
        os.unlink(source)
        os.unlink(target)
        return out

    def demo_loop(self):
        """tarvo-render's own drum-and-bass demo input (stereo, 8 s)."""
        target = self.folder / "demo.wav"
        subprocess.run([self.render, "--demo", str(target), "--quiet"], check=True,
                       stdout=subprocess.DEVNULL)
        _, loop = wavfile.read(self.folder / "demo-input.wav")
        if loop.dtype.kind == "i":
            loop = loop / float(2 ** (8 * loop.dtype.itemsize - 1))
        return loop.astype(np.float64)


def sine(frequency, seconds, amplitude=1.0):
    t = np.arange(int(seconds * RATE)) / RATE
    return amplitude * np.sin(2 * np.pi * frequency * t)


def db(x):
    return 20 * np.log10(np.maximum(np.abs(x), 1e-12))


def rms(x):
    return np.sqrt(np.mean(np.square(x)))


def hertz_axis(axes, ticks):
    """A logarithmic frequency axis labelled in Hz and kHz."""
    axes.set_xscale("log")
    axes.set_xticks(ticks)
    axes.set_xticklabels([f"{t:g}" if t < 1000 else f"{t / 1000:g}k" for t in ticks])
    axes.minorticks_off()


def finish(figure, path):
    figure.tight_layout()
    figure.savefig(path, dpi=DPI)
    plt.close(figure)


def static_curve(render, folder):
    """Output level against input level for a steady 1 kHz tone."""
    levels = np.arange(-50, 6.5, 0.5)
    step = 0.15  # seconds per level; the level is read over the last third
    tone = np.concatenate([sine(1000, step, 10 ** (level / 20)) for level in levels])
    n = int(step * RATE)
    curves = [("Ratio 2.0, Knee Hard", ["Ratio=2", "Knee=Hard"]),
              ("Ratio 4.0, Knee Hard", ["Ratio=4", "Knee=Hard"]),
              ("Ratio inf, Knee Hard", ["Ratio=inf", "Knee=Hard"]),
              ("Ratio 4.0, Knee 0.5", ["Ratio=4", "Knee=0.5"]),
              ("Ratio 4.0, Knee Soft", ["Ratio=4", "Knee=Soft"])]
    common = NEUTRAL + ["Thresh.=-20", "Attack=10", "Release=100"]
    figure, axes = plt.subplots(figsize=SIZE)
    # The knee region, enlarged, in the empty lower right corner.
    zoom = axes.inset_axes([0.62, 0.06, 0.35, 0.38])
    for target in (axes, zoom):
        target.plot(levels, levels, color="0.6", linestyle=":", label="no compression (1:1)")
    measured = {}
    for (label, settings), style in zip(curves, ["-", "-", "-", "--", "-."]):
        out = render(tone, common + settings)[:, 0]
        peaks = [db(rms(out[i * n + 2 * n // 3:(i + 1) * n]) * np.sqrt(2))
                 for i in range(len(levels))]
        axes.plot(levels, peaks, style, linewidth=1.8, label=label)
        zoom.plot(levels, peaks, style, linewidth=1.4)
        measured[label] = dict(zip(levels, peaks))
    zoom.set_xlim(-28, -12)
    zoom.set_ylim(-24, -16)
    zoom.axvline(-20, color="0.4", linewidth=0.8)
    zoom.set_title("knee region", fontsize=8)
    zoom.tick_params(labelsize=7)
    zoom.grid(True, alpha=0.3)
    axes.indicate_inset_zoom(zoom, edgecolor="0.5")
    axes.axvline(-20, color="0.4", linewidth=0.8)
    axes.text(-19.5, 3, "Thresh. -20 dB", color="0.3")
    axes.set_xlabel("input level (dBFS, peak of a 1 kHz sine)")
    axes.set_ylabel("output level (dBFS, peak)")
    axes.set_title("Static curve: Thresh. -20 dB, Makeup 0 dB, Saturat. Off, limiter Off")
    axes.set_xlim(-50, 6)
    axes.set_ylim(-50, 6)
    axes.grid(True, alpha=0.3)
    axes.legend(loc="upper left")
    finish(figure, folder / "static-curve.png")
    top = measured["Ratio inf, Knee Hard"][6.0]
    lift = max(out - level for curve in measured.values() for level, out in curve.items())
    return {"static-inf": f"{top:.1f} dBFS",
            "static-lift": f"{lift:.1f} dB",
            "static-soft": f"{measured['Ratio 4.0, Knee Soft'][-20.0] + 20:+.1f} dB",
            "static-hard": f"{measured['Ratio 4.0, Knee Hard'][-20.0] + 20:+.1f} dB"}


def demodulated_gain(out, carrier_period, amplitude):
    """Gain applied to a steady tone of carrier_period samples: I/Q
    demodulation, averaged over one period (which removes the 2f term)."""
    phase = 2 * np.pi * np.arange(len(out)) / carrier_period
    kernel = np.ones(carrier_period) / carrier_period
    i = np.convolve(out * np.cos(phase), kernel, mode="same")
    q = np.convolve(out * np.sin(phase), kernel, mode="same")
    return 2 * np.sqrt(i * i + q * q) / amplitude


def gain_reduction(render, folder):
    """Gain over time with the drum loop as key, at two attack/release
    settings: the loop keys the compressor through the side-chain input,
    and the gain is read off a steady tone on the main input."""
    loop = render.demo_loop()[: 2 * RATE]  # one bar
    period, amplitude = 8, 0.01  # a 5512.5 Hz tone at -40 dBFS
    tone = amplitude * np.sin(2 * np.pi * np.arange(len(loop)) / period)
    common = NEUTRAL + ["Thresh.=-20", "Ratio=4", "Knee=Hard"]
    settings = [("Attack 1.0 ms, Release 50.0 ms", ["Attack=1", "Release=50"]),
                ("Attack 30.0 ms, Release 500.0 ms", ["Attack=30", "Release=500"])]
    t = np.arange(len(loop)) / RATE
    figure, (top, bottom) = plt.subplots(2, 1, figsize=SIZE, sharex=True,
                                         gridspec_kw={"height_ratios": [1, 2]})
    block = int(0.002 * RATE)
    frames = len(loop) // block
    chunks = loop[: frames * block, 0].reshape(frames, block)
    top.fill_between(np.arange(frames) * block / RATE, chunks.min(axis=1), chunks.max(axis=1),
                     color="0.45", linewidth=0)
    top.set_ylabel("key (left)")
    top.set_ylim(-1, 1)
    top.set_title("Gain reduction on tarvo-render's drum loop: Thresh. -20 dB, Ratio 4.0, "
                  "Knee Hard")
    deepest = {}
    for label, extra in settings:
        out = render(tone, common + extra, sidechain=loop)[:, 0]
        gain = db(demodulated_gain(out, period, amplitude))
        bottom.plot(t[::4], gain[::4], linewidth=1.2, label=label)
        deepest[label] = gain[period:-period].min()
    bottom.set_ylabel("gain (dB)")
    bottom.set_xlabel("time (s)")
    bottom.set_xlim(0, t[-1])
    bottom.grid(True, alpha=0.3)
    bottom.legend(loc="lower right")
    finish(figure, folder / "gain-reduction.png")
    fast, slow = (deepest[label] for label, _ in settings)
    return {"gr-fast": f"{fast:.1f} dB", "gr-slow": f"{slow:.1f} dB"}


def key_sensitivity(render, frequency, filter_setting):
    """Level the detector hears from a full-scale tone, in dB above the
    threshold: with Ratio inf and Knee Hard every dB above the threshold is
    one dB of gain reduction."""
    seconds = max(1.0, 40 / frequency)
    tone = sine(frequency, seconds)
    out = render(tone, NEUTRAL + ["Thresh.=-40", "Ratio=inf", "Knee=Hard", "Attack=10",
                                  "Release=200", f"Filter={filter_setting}"])[:, 0]
    tail = slice(len(tone) // 2, None)
    return -db(rms(out[tail]) / rms(tone[tail]))


def sidechain_filter(render, folder):
    """How strongly the compressor reacts to each frequency, per "Filter"."""
    filters = ["Off", "60", "120", "260"]
    base = list(np.geomspace(20, 2000, 25))
    jobs = []
    for setting in filters:
        near = [] if setting == "Off" else [float(setting) * r for r in (0.8, 0.9, 1.0, 1.1, 1.25)]
        for frequency in sorted(base + near):
            jobs.append((setting, frequency))
    with ThreadPoolExecutor(max_workers=2) as pool:
        levels = list(pool.map(lambda job: key_sensitivity(render, job[1], job[0]), jobs))
    figure, axes = plt.subplots(figsize=SIZE)
    corners = {}
    for setting in filters:
        points = [(f, level) for (s, f), level in zip(jobs, levels) if s == setting]
        f = np.array([p[0] for p in points])
        level = np.array([p[1] for p in points])
        relative = level - level[-1]  # 0 dB at 2 kHz
        heard = level > 0.5  # below the threshold the gain tells nothing
        label = "Filter Off (low shelf)" if setting == "Off" else f"Filter {setting} Hz"
        axes.plot(f[heard], relative[heard], "o-", markersize=3, label=label)
        if setting != "Off":
            below = np.nonzero(heard & (relative < -3.0))[0]
            k = below[-1]
            x = np.interp(-3.0, relative[k:k + 2], np.log(f[k:k + 2]))
            corners[setting] = np.exp(x)
        else:
            corners["Off"] = np.interp(np.log(100), np.log(f), relative)
    axes.axhline(-3, color="0.5", linewidth=0.8, linestyle=":")
    axes.set_xlabel("key frequency (Hz)")
    axes.set_ylabel("level the detector hears (dB, 0 at 2 kHz)")
    axes.set_title("Side-chain filter: the compressor's sensitivity to a tone, per \"Filter\"")
    hertz_axis(axes, [20, 50, 100, 200, 500, 1000, 2000])
    axes.set_xlim(20, 2000)
    axes.set_ylim(-40, 3)
    axes.grid(True, alpha=0.3)
    axes.legend(loc="lower right")
    finish(figure, folder / "sidechain-filter.png")
    text = ", ".join(f"\"{s}\" at {corners[s]:.0f} Hz" for s in filters if s != "Off")
    return {"sidechain-corners": text, "sidechain-shelf": f"{corners['Off']:.1f} dB"}


def transfer(render, settings, seconds=6.0, level=-30.0):
    """Frequency response (Hz, dB) measured with white noise."""
    noise = np.random.default_rng(1).standard_normal(int(seconds * RATE)) * 10 ** (level / 20)
    out = render(noise, settings)[:, 0]
    f, pxy = sps.csd(noise, out, fs=RATE, nperseg=8192)
    _, pxx = sps.welch(noise, fs=RATE, nperseg=8192)
    return f, db(pxy / pxx)


def scoop(render, folder):
    """The "MidScoop" equaliser's response at a few settings."""
    figure, axes = plt.subplots(figsize=SIZE)
    settings = ["12", "6", "0", "-6", "-12"]
    responses = {}
    for value in settings:
        f, response = transfer(render, NEUTRAL + ["Thresh.=0", "Ratio=1.1", f"MidScoop={value}"])
        band = (f >= 20) & (f <= 20000)
        axes.plot(f[band], response[band], linewidth=1.6,
                      label=f"MidScoop {float(value):+.1f} dB" if value != "0" else
                      "MidScoop 0.0 dB (off)")
        responses[value] = (f, response)
    axes.set_xlabel("frequency (Hz)")
    axes.set_ylabel("gain (dB)")
    axes.set_title("Scoop equaliser on the processed signal (Dry/Wet Off, no compression)")
    hertz_axis(axes, [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000])
    axes.set_xlim(20, 20000)
    axes.grid(True, alpha=0.3)
    axes.legend(loc="lower left")
    finish(figure, folder / "scoop.png")

    def extreme(value, lowest):
        f, response = responses[value]
        band = (f >= 1000) & (f <= 6000)
        k = np.argmin(response[band]) if lowest else np.argmax(response[band])
        return f[band][k], response[band][k]

    def bumps(value, main_f):
        """Turning points of a curve from 300 Hz to 19 kHz other than the main
        dip or peak: the response smoothed over five bins (about 27 Hz), each
        point the highest or lowest within 40 bins (about 215 Hz) each way."""
        f, response = responses[value]
        smooth = np.convolve(response, np.ones(5) / 5, mode="same")
        turning = np.concatenate([sps.argrelextrema(smooth, np.greater, order=40)[0],
                                  sps.argrelextrema(smooth, np.less, order=40)[0]])
        points = [k for k in sorted(turning)
                  if 300 <= f[k] <= 19000 and abs(f[k] - main_f) > 500]
        return ", ".join(f"{smooth[k]:+.1f} dB near "
                         + (f"{f[k]:.0f} Hz" if f[k] < 1000 else f"{f[k] / 1000:.1f} kHz")
                         for k in points)

    dip_f, dip = extreme("12", True)
    peak_f, peak = extreme("-12", False)
    return {"scoop-plus": f"{dip:.1f} dB near {dip_f / 1000:.1f} kHz",
            "scoop-minus": f"{peak:+.1f} dB near {peak_f / 1000:.1f} kHz",
            "scoop-plus-bumps": bumps("12", dip_f),
            "scoop-minus-bumps": bumps("-12", peak_f)}


def block_peaks(x, block):
    frames = len(x) // block
    return np.abs(x[: frames * block]).reshape(frames, block).max(axis=1)


def limiter(render, folder):
    """The drum loop 12 dB too loud, with the limiter's ceiling at -6 dB."""
    loud = render.demo_loop()[: 4 * RATE] * 4.0
    settings = NEUTRAL[:] + ["Thresh.=0", "Ratio=1.1", "6=-6"]
    settings[settings.index("14=Off")] = "14=Pre"
    out = render(loud, settings)
    block = int(0.002 * RATE)
    t = np.arange(len(loud) // block) * block / RATE
    figure, axes = plt.subplots(figsize=SIZE)
    axes.plot(t, db(block_peaks(loud[:, 0], block)), color="0.6", linewidth=0.8,
              label="input, 12 dB too loud")
    axes.plot(t, db(block_peaks(out[:, 0], block)), linewidth=1.0, label="output, limiter Pre")
    axes.axhline(-6, color="C3", linestyle="--", linewidth=1.2, label="Limiter -6.0 dB")
    axes.axhline(0, color="0.3", linewidth=0.8)
    axes.set_xlabel("time (s)")
    axes.set_ylabel("peak level per 2 ms (dBFS)")
    axes.set_title("Peak limiter: Limiter -6.0 dB, \"Pre\"; Thresh. 0 dB, Ratio 1.1, Saturat. Off")
    axes.set_xlim(0, t[-1])
    axes.set_ylim(-40, 22)
    axes.grid(True, alpha=0.3)
    axes.legend(loc="upper center", ncol=3)
    finish(figure, folder / "limiter.png")
    peak = db(np.abs(out).max())
    over = np.mean(np.abs(out) > 10 ** (-6 / 20)) * 100
    return {"limiter-input": f"{db(np.abs(loud).max()):+.1f} dBFS",
            "limiter-peak": f"{peak:.2f} dBFS",
            "limiter-over": f"{over:.1f} %"}


def high_frequency_response(render, folder):
    """Gain of a quiet sine (-20 dBFS) at 10, 15 and 20 kHz through every
    factor of both paths, nothing else acting: the "Fast" path's short
    interpolation filters roll off the top octave at 4x and 8x."""
    frequencies = (10000, 15000, 20000)
    neutral = NEUTRAL + ["Thresh.=0", "Ratio=1.1", "Dither=Off"]

    def gain(job):
        factor, path, frequency = job
        tone = sine(frequency, 0.5, 0.1)
        out = render(tone, neutral + [f"Upsampl.={factor}", f"Upsmpl.={path}"])[:, 0]
        tail = slice(len(tone) // 2, None)
        return db(rms(out[tail]) / rms(tone[tail]))

    jobs = [(factor, path, frequency) for factor in ("2x", "4x", "8x") for path in ("Fast", "HQ")
            for frequency in frequencies]
    with ThreadPoolExecutor(max_workers=2) as pool:
        gains = dict(zip(jobs, pool.map(gain, jobs)))

    def fast(factor, frequency):
        return f"{gains[(factor, 'Fast', frequency)]:.2f} dB at {frequency // 1000} kHz"

    hq = max(abs(g) for (_, path, _), g in gains.items() if path == "HQ")
    return {"fast-rolloff-4x": f"{fast('4x', 15000)} and {fast('4x', 20000)}",
            "fast-rolloff-8x": f"{fast('8x', 10000)}, {fast('8x', 15000)} and "
                               f"{fast('8x', 20000)}",
            "hq-flatness": f"{hq:.2f} dB"}


def aliasing(render, folder):
    """Spectrum of a driven 5 kHz sine at 1x, 4x and 8x HQ."""
    f0 = 5000.0
    tone = sine(f0, 2.0, 0.5)
    drive = NEUTRAL[:] + ["Saturat.=Ratio", "Ratio=inf", "Thresh.=0", "Input=+12",
                          "Dither=Off"]
    drive.remove("Saturat.=Off")
    drive.remove("Input=0")
    cases = [("1x", "Fast"), ("4x", "Fast"), ("8x", "HQ")]
    figure, panels = plt.subplots(len(cases), 1, figsize=SIZE, sharex=True)
    n = 65536
    window = sps.windows.blackmanharris(n)
    worst = {}
    harmonics = np.arange(f0, RATE / 2, f0)
    for axes, (factor, path) in zip(panels, cases):
        out = render(tone, drive + [f"Upsampl.={factor}", f"Upsmpl.={path}"])[:, 0]
        segment = out[len(out) - n:]
        spectrum = np.abs(np.fft.rfft(segment * window)) / (window.sum() / 2)
        f = np.fft.rfftfreq(n, 1 / RATE)
        level = db(spectrum)
        axes.plot(f / 1000, level, linewidth=0.7)
        for h in harmonics:
            axes.axvline(h / 1000, color="C1", linestyle="--", linewidth=1.0, alpha=0.7)
        near = np.zeros_like(f, dtype=bool)
        for h in np.concatenate([[0.0], harmonics]):
            near |= np.abs(f - h) < 60
        worst[f"{factor} {path}"] = level[~near].max() - level[np.argmin(np.abs(f - f0))]
        axes.set_ylim(-160, 10)
        axes.set_yticks([-150, -100, -50, 0])
        axes.set_ylabel("dBFS")
        axes.text(0.995, 0.9, f"Upsampl. {factor}, Upsmpl. {path}", transform=axes.transAxes,
                  ha="right", va="top", bbox=dict(facecolor="white", edgecolor="0.7"))
        axes.grid(True, alpha=0.3)
    # The same drive at program "Default"'s threshold: with "Ratio" "inf" the
    # compressor holds the tone near the threshold, so the saturation is
    # driven far less and the aliases fall.
    at_default = [setting for setting in drive if not setting.startswith("Thresh.=")]
    for factor in ("1x", "4x"):
        out = render(tone, at_default + [f"Upsampl.={factor}", "Upsmpl.=Fast"])[:, 0]
        level = db(np.abs(np.fft.rfft(out[len(out) - n:] * window)) / (window.sum() / 2))
        worst[f"default {factor}"] = level[~near].max() - level[np.argmin(np.abs(f - f0))]
    panels[0].set_title("A driven 5 kHz sine: harmonics (dashed lines) and aliases "
                        "(every other line)")
    panels[-1].set_xlabel("frequency (kHz)")
    panels[-1].set_xlim(0, RATE / 2000)
    finish(figure, folder / "aliasing.png")
    return {"aliasing-1x": f"{worst['1x Fast']:.0f} dB",
            "aliasing-4x": f"{worst['4x Fast']:.0f} dB",
            "aliasing-8x": f"{worst['8x HQ']:.0f} dB",
            "aliasing-default": f"{worst['default 1x']:.0f} dB at 1x and "
                                f"{worst['default 4x']:.0f} dB at 4x \"Fast\""}


def signal_flow(render, folder):
    """The signal flow of one channel strip, drawn (not measured)."""
    figure, axes = plt.subplots(figsize=(9, 4.2))
    axes.set_xlim(0, 18)
    axes.set_ylim(0.6, 9.0)
    axes.axis("off")

    def box(x, y, text, width=1.9, colour="#dbe9f6"):
        axes.add_patch(matplotlib.patches.FancyBboxPatch(
            (x - width / 2, y - 0.55), width, 1.1, boxstyle="round,pad=0.05",
            facecolor=colour, edgecolor="0.3"))
        axes.text(x, y, text, ha="center", va="center", fontsize=8.5)

    def arrow(start, end, text=None, style="-|>"):
        axes.annotate("", xy=end, xytext=start,
                      arrowprops=dict(arrowstyle=style, color="0.25", linewidth=1.1))
        if text:
            axes.text((start[0] + end[0]) / 2, (start[1] + end[1]) / 2 + 0.2, text,
                      ha="center", va="bottom", fontsize=7.5, color="0.25")

    audio, key, dry = 6.2, 3.2, 8.4
    box(1.1, audio, "Mode:\nL, R, mid, side\nto strips A, B", 2.0, "#eeeeee")
    box(1.1, key, "key: the same,\nor side-chain\n(Sd.chain)", 2.0, "#eeeeee")
    box(3.5, audio, "Input\ngain")
    box(5.8, audio, "upsample\nUpsampl.,\nUpsmpl.")
    box(8.1, audio, "× gain", 1.5, "#fde2c8")
    box(10.2, audio, "Limiter\n(Pre)")
    box(12.3, audio, "Saturat.")
    box(14.4, audio, "MidScoop")
    box(16.6, audio, "Dry/Wet\nmix,\ndownsample", 2.0)
    box(3.5, key, "Input\ngain")
    box(5.8, key, "side-chain\nfilter\n(Filter)")
    box(8.1, key, "level\ndetector\n(Att.Mode)")
    box(10.6, key, "gain computer\nThresh., Knee,\nRatio", 2.1)
    box(13.1, key, "gain smoother\nAttack, Release\n(A,R Time)", 2.1)
    for a, b in [(2.1, 2.55), (4.45, 4.85), (6.75, 7.35), (8.85, 9.25), (11.15, 11.35),
                 (13.25, 13.45), (15.35, 15.6)]:
        arrow((a, audio), (b, audio))
    for a, b in [(2.1, 2.55), (4.45, 4.85), (6.75, 7.15), (9.05, 9.55), (11.65, 12.05)]:
        arrow((a, key), (b, key))
    arrow((13.1, key + 0.6), (8.1, audio - 0.6))
    axes.text(12.0, 4.45, "applied gain", fontsize=7.5, color="0.25")
    arrow((10.4, key + 0.6), (10.4, audio - 0.6))
    axes.text(10.3, 4.05, "limiter key", ha="right", va="bottom", fontsize=7.5, color="0.25")
    axes.plot([5.8, 5.8, 16.6], [audio + 0.6, dry, dry], color="0.25", linewidth=1.1)
    arrow((16.6, dry), (16.6, audio + 0.6))
    axes.text(11.2, dry + 0.12, "dry signal (MidScoop's opposite curve when mixed)", ha="center",
              va="bottom", fontsize=7.5, color="0.25")
    axes.text(9, 1.4, "Limiter \"Pre\": gain → limiter → saturation → scoop → dry/wet.   "
              "\"Post\": gain → scoop → dry/wet → limiter → saturation.\n"
              "\"Off\": gain → scoop → dry/wet → saturation.   "
              "Everything between upsample and downsample runs at the oversampled rate.",
              ha="center", va="center", fontsize=8, color="0.15")
    axes.set_title("Signal flow of one compressor channel (strip); Mode decides what strips A "
                   "and B get and how they return to left and right", fontsize=9.5)
    finish(figure, folder / "signal-flow.png")
    return {}


def render_all(render, folder):
    """Renders every picture into folder; returns the measured numbers."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    measured = {}
    with tempfile.TemporaryDirectory(prefix="tarvo-manual-") as scratch:
        renderer = Renderer(render, scratch)
        for draw in (signal_flow, static_curve, gain_reduction, sidechain_filter, scoop, limiter,
                     high_frequency_response, aliasing):
            print(f"picture: {draw.__name__}")
            measured.update(draw(renderer, folder))
    return measured
