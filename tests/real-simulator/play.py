#!/usr/bin/env python3
"""Plays Kestrane's scenarios inside the real simulator, headless under Wine, and checks what it
saved.

  play.py --pilot NAME   a scenario of Scenarios/Kestrane as its description tells a pilot to
                         play it, with the figures of the shared list (--figures): the keys
                         pressed through the kit's display driver, a simulated minute, the saved
                         state; then that state loaded again for another minute
  play.py --case FILE    a case of cases/: sessions, driver actions and figures (the format:
                         docs/real-simulator-cases.md)
  play.py --prepare      the Wine prefix, made once before the sessions

Each check is counted; the run ends with "real simulator: N checks, M failed". A session that
did not start, did not load Kestrane, ran no step or saved no state fails, whatever the
simulator's exit status.
"""
import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

KEYS = {'M': 0x32, 'T': 0x14, 'S': 0x1F, 'D': 0x20, '+': 0x0D, '-': 0x0C, '?': 0x35}
STEP = 0.05
STATE = '(Current state)'


class Checks:
    def __init__(self):
        self.count = 0
        self.failed = 0

    def check(self, ok, what):
        self.count += 1
        if not ok:
            self.failed += 1
            print('FAILED: ' + what, flush=True)
        return ok


checks = Checks()


def entries(path, head):
    """The file's entries: each starts at a line `<head> <name>`; the lines after it are
    (keyword, rest) pairs. '#' starts a comment."""
    found = []
    with open(path, encoding='utf-8') as f:
        for raw in f:
            line = raw.split('#', 1)[0].strip()
            if not line:
                continue
            word, _, rest = line.partition(' ')
            if word == head:
                found.append((rest.strip(), []))
            elif found:
                found[-1][1].append((word, rest.strip()))
            else:
                sys.exit(f'{path}: "{line}" before any {head}')
    return found


class Figures:
    """What a saved state must hold: blocks of Fuel Management by display, ships' levels and
    docking."""

    def __init__(self):
        self.blocks = {}
        self.ships = {}
        self.docks = {}

    def add(self, word, rest, display='Left'):
        if word == 'block':
            self.blocks.setdefault(display, []).append(rest)
        elif word == 'ship':
            name, _, levels = rest.partition(' ')
            self.ships[name] = levels.strip()
            self.docks.setdefault(name, '')
        elif word == 'dock':
            name, _, info = rest.partition(' ')
            self.docks[name] = info.strip()
        else:
            return False
        return True


def read_state(path):
    """The displays' blocks (their lines, stripped) and the ships' items of a scenario file."""
    with open(path, encoding='latin-1') as f:
        lines = [line.strip() for line in f.read().splitlines()]
    displays, ships = {}, {}
    i = 0
    while i < len(lines):
        if lines[i].startswith('BEGIN_MFD'):
            body = displays.setdefault(lines[i].split(None, 1)[1], [])
            i += 1
            while i < len(lines) and lines[i] != 'END_MFD':
                body.append(lines[i])
                i += 1
        elif lines[i] == 'BEGIN_SHIPS':
            i += 1
            while i < len(lines) and lines[i] != 'END_SHIPS':
                if lines[i]:
                    items = ships.setdefault(lines[i].split(':', 1)[0], {})
                    i += 1
                    while i < len(lines) and lines[i] != 'END':
                        key, _, value = lines[i].partition(' ')
                        items[key] = value.strip()
                        i += 1
                i += 1
        i += 1
    return displays, ships


def check_state(path, figures, label):
    if not checks.check(os.path.isfile(path), f'{label}: no saved state {path}'):
        return None
    displays, ships = read_state(path)
    for display, block in figures.blocks.items():
        written = displays.get(display, [])
        expected = ['TYPE User', 'MODE Fuel Management'] + block
        checks.check(written == expected, f'{label}: the {display} display\'s block is ' +
                     ' | '.join(written) + ', not ' + ' | '.join(expected))
    checks.check(not figures.ships or sorted(ships) == sorted(figures.ships),
                 f'{label}: ships saved {sorted(ships)}, not {sorted(figures.ships)}')
    for name, levels in figures.ships.items():
        saved = ships.get(name, {})
        checks.check(saved.get('PRPLEVEL', '') == levels,
                     f'{label}: {name} PRPLEVEL {saved.get("PRPLEVEL", "(none)")}, not {levels or "(none)"}')
        checks.check(saved.get('DOCKINFO', '') == figures.docks[name],
                     f'{label}: {name} DOCKINFO {saved.get("DOCKINFO", "(none)")}, not '
                     f'{figures.docks[name] or "(none)"}')
    return ships


class Simulator:
    def __init__(self, args):
        self.args = args
        self.kit = args.kit
        self.run_folder = None

    def fresh_folder(self, name):
        """A writable copy of the installed simulator's folder: what a session writes (the
        configuration, the log, Scenarios, pictures) is copied, the rest linked."""
        folder = os.path.join(self.args.work, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for entry in os.listdir(self.args.installed):
            source = os.path.join(self.args.installed, entry)
            target = os.path.join(folder, entry)
            if os.path.isdir(source) and entry not in ('Scenarios', 'Kit'):
                os.symlink(source, target)
            elif os.path.isdir(source):
                shutil.copytree(source, target)
            else:
                shutil.copy(source, target)
        os.makedirs(os.path.join(folder, 'Scenarios', 'KestraneTest'), exist_ok=True)
        os.makedirs(os.path.join(folder, 'KestraneTest'), exist_ok=True)
        self.run_folder = folder
        return folder

    def session(self, label, scenario, until, actions, extra=(), end_mark=None):
        """One session to simulation time `until` (or by system time when paused): the driver's
        actions, then the checks that it started, loaded Kestrane and ran to the end."""
        folder = self.run_folder
        script = os.path.join(folder, 'KestraneTest', 'driver.txt')
        end_mark = round(until - STEP, 3) if end_mark is None else end_mark
        with open(script, 'w') as f:
            # Half a step early: an action at t acts in the step from t, whatever the rounding of
            # the simulation time; the driver, loaded first, acts before Kestrane's time step.
            for t, action in actions:
                f.write(f'{t - STEP / 2:.3f} {action}\n')
            f.write(f'{end_mark - STEP / 2:.3f} log end of session\n')
        log = os.path.join(folder, 'Orbiter.log')
        if os.path.exists(log):
            os.remove(log)
        env = dict(os.environ, MFDDRIVER_SCRIPT='KestraneTest/driver.txt')
        # Steps from 0 to until - STEP: until / STEP of them.
        command = [os.path.join(self.kit, 'run'), folder, scenario, '--plugin=MfdDriver', '--plugin=Kestrane',
                   f'--fixedstep={STEP}', f'--maxsimtime={until - STEP / 2:.3f}', *extra]
        print(f'{label}: {" ".join(command[2:])}', flush=True)
        returncode = self.run(command, env, log, label)
        checks.check(returncode == 0, f'{label}: the simulator ended with status {returncode}')
        text = open(log, encoding='latin-1').read() if os.path.exists(log) else ''
        if text:
            shutil.copy(log, os.path.join(folder, f'Orbiter-{slug(label)}.log'))
        checks.check(text != '', f'{label}: the simulator did not start (no Orbiter.log)')
        linked = re.search(r'Module linked \[[^]]*\\Modules\\Plugin\\Kestrane\.dll\]', text)
        checks.check(linked is not None, f'{label}: Orbiter.log has no "Module linked [...\\Modules\\Plugin\\'
                     'Kestrane.dll]": the simulator did not load Kestrane')
        driven = re.findall(r'^[0-9.]+: (MfdDriver: t=.*)$', text, re.M)
        for line in driven:
            checks.check('(not consumed)' not in line and 'FAILED' not in line and 'no such' not in line,
                         f'{label}: {line}')
        checks.check(any(line.endswith(' log 0 end of session') for line in driven),
                     f'{label}: no time step reached t={end_mark}')
        checks.check(len(driven) == len(actions) + 1,
                     f'{label}: the driver acted {len(driven)} times, not {len(actions) + 1}')
        return text

    @staticmethod
    def run(command, env, log, label):
        """The kit's run script in a process group of its own. Now and then, under load, the
        simulator's process does not exit under Wine after its log says it shut down (its state
        saved); it is then ended, with a note, ten seconds later."""
        output = tempfile.TemporaryFile(mode='w+')
        process = subprocess.Popen(command, env=env, stdout=output, stderr=subprocess.STDOUT, text=True,
                                   start_new_session=True)
        shut_down = None
        while process.poll() is None:
            time.sleep(0.5)
            if shut_down is None and os.path.exists(log):
                with open(log, encoding='latin-1') as f:
                    if '**** Fast process shutdown' in f.read():
                        shut_down = time.monotonic()
            if shut_down is not None and time.monotonic() - shut_down > 10:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                print(f'{label}: note: the simulator had shut down but its process had not ended after 10 s; '
                      f'ended it', flush=True)
                return 0
        output.seek(0)
        text = kit_noise_left_out(output.read()).strip()
        if text:
            print(text)
        return process.returncode

    def picture(self, label, bmp, name, moving=False):
        """The picture the driver saved, as PNG in the build folder, compared with the
        committed one. With `moving` the gauges are left out: while the pump runs their figures
        change every step, and the simulator redraws a display on real time as well as
        simulation time, so which step a picture shows varies by a few."""
        source = os.path.join(self.run_folder, bmp)
        if not checks.check(os.path.isfile(source), f'{label}: the driver saved no picture {bmp}'):
            return
        if moving:
            source = blank_gauges(source, label)
            if source is None:
                return
        os.makedirs(self.args.pictures, exist_ok=True)
        png = os.path.join(self.args.pictures, name + '.png')
        subprocess.run([sys.executable, os.path.join(self.kit, 'source', 'tools', 'bmp2png.py'), source, png],
                       check=True)
        reference = os.path.join(self.args.references, name + '.png')
        same = os.path.isfile(reference) and open(reference, 'rb').read() == open(png, 'rb').read()
        checks.check(same, f'{label}: the display differs from {reference}; the new picture is {png}{font_note()}'
                     if os.path.isfile(reference) else f'{label}: no reference picture {reference}; the new '
                     f'picture is {png}')


# The kit's user interface finds none of its own fonts headless, and says so in some 20 lines
# before every session's own output; they would bury the lines that tell why a case failed.
KIT_NOISE = re.compile(r"^(\[\d+\] )?(\[imgui-error\] .*|While loading 'Fonts/[^']*')$")


def kit_noise_left_out(text):
    """The simulator's output without the kit's font complaints, and how many lines were left."""
    lines = text.splitlines()
    kept = [line for line in lines if not KIT_NOISE.match(line)]
    if len(kept) < len(lines):
        kept.append(f'({len(lines) - len(kept)} lines of the kit\'s "Could not load font file!" left out)')
    return '\n'.join(kept)


def font_note():
    """Why every picture may differ: the committed ones show Wine's substitute for the simulator's
    Courier New as fontconfig gives it with Liberation Mono installed (fonts-liberation). Another
    font has other character heights, and so other rows for the whole page."""
    try:
        found = subprocess.run(['fc-match', '-f', '%{family}', 'Courier New'], capture_output=True, text=True,
                               timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return ''
    if found.startswith('Liberation Mono'):
        return ''
    return (f' (the pictures are drawn with Liberation Mono for the simulator\'s Courier New; fontconfig gives '
            f'"{found}" here: install fonts-liberation)')


def picture_size(bmp):
    """Width and height of a saved picture."""
    with open(bmp, 'rb') as f:
        head = f.read(26)
    width, height = struct.unpack_from('<ii', head, 18)
    return width, abs(height)


def blank_gauges(bmp, label):
    """A copy of the picture with the gauges' rows of pixels painted grey, so that it shows
    what was left out; None, after a failed check, when it shows no gauge. The bars are found
    in the picture itself: their rows depend on the cell height, which is the height of the
    font the simulator gives the display as Wine renders it, not on the display's size alone."""
    data = bytearray(open(bmp, 'rb').read())
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if data[:2] != b'BM' or bits != 24:
        sys.exit(f'{bmp}: not a 24-bit picture; the gauges can be left out of those only')
    stride = (width * 3 + 3) & ~3
    rows = abs(height)

    def start(y):
        return offset + stride * (rows - 1 - y if height > 0 else y)

    def pixels(y):
        line = bytes(data[start(y):start(y) + width * 3])
        return [line[x:x + 3] for x in range(0, width * 3, 3)]

    def longest_run(line):
        # The longest stretch of one colour other than black: (first, last, colour).
        best, first = (0, -1, None), 0
        for x in range(1, width + 1):
            if x == width or line[x] != line[first]:
                if line[first] != b'\0\0\0' and x - 1 - first > best[1] - best[0]:
                    best = (first, x - 1, line[first])
                first = x
        return best

    # A bar's top and bottom edges are lines across most of the display, in the frame's colour,
    # from the same first to the same last pixel; its texts may run past its right edge between
    # them. A frame around the whole display is taller than a bar.
    edges = [(y, *longest_run(pixels(y))) for y in range(rows)]
    edges = [edge for edge in edges if edge[3] is not None and edge[2] - edge[1] > width // 2]
    bars, i = [], 0
    while i < len(edges):
        y, left, right, frame = edges[i]
        bottom = next((j for j in range(i + 1, len(edges)) if edges[j][1:] == (left, right, frame)
                       and 2 <= edges[j][0] - y <= rows // 4), None)
        if bottom is None:
            i += 1
        else:
            bars.append((y, edges[bottom][0]))
            i = bottom + 1
    if not checks.check(bars != [], f'{label}: {bmp} ({width} x {rows}) shows no gauge to leave out'):
        return None
    for first, last in bars:
        for y in range(first, last + 1):
            data[start(y):start(y) + width * 3] = b'\x80' * (width * 3)
    blanked = bmp[:-4] + '.blanked.bmp'
    open(blanked, 'wb').write(data)
    return blanked


def slug(text):
    return re.sub(r'[^a-z0-9]+', '-', text.lower()).strip('-')


def vessel_classes(path):
    classes = {}
    with open(path) as f:
        for raw in f:
            fields = raw.split(';', 1)[0].split()
            if len(fields) >= 2:
                classes[fields[0].lower()] = [float(x) for x in fields[2:]]
    return classes


def mass_of(items, capacities):
    levels = dict(pair.split(':') for pair in items.get('PRPLEVEL', '').split())
    return sum(float(levels.get(str(i), 0)) * c for i, c in enumerate(capacities))


def focus_of(path):
    text = open(path, encoding='latin-1').read()
    ship = re.search(r'BEGIN_FOCUS\s+Ship\s+(\S+)', text).group(1)
    cls = re.search(r'^' + re.escape(ship) + r':(\S+)', text, re.M).group(1)
    return ship, cls


def play_pilot(sim, args):
    pilots = dict(entries(args.figures, 'scenario'))
    installed = os.path.join(args.installed, 'Scenarios', 'Kestrane')
    on_disk = sorted(f for f in os.listdir(installed) if f.endswith('.scn'))
    checks.check(on_disk == sorted(pilots), f'the list has figures for {sorted(pilots)}; Scenarios/Kestrane '
                 f'holds {on_disk}')
    name = args.pilot
    if not checks.check(name in pilots, f'no figures for {name} in {args.figures}'):
        return
    figures, keys, vented = Figures(), [], None
    for word, rest in pilots[name]:
        if word == 'keys':
            keys = rest.split()
        elif word == 'vented':
            vented = float(rest)
        elif not figures.add(word, rest):
            sys.exit(f'{args.figures}: unknown line "{word} {rest}"')
    label = name[:-4]
    folder = sim.fresh_folder(slug(label))
    # The keys half a second apart, as a pilot presses them (each redraws the display before the
    # next: the simulator redraws a display at the end of the frame that changed it); then a
    # minute of steps from the step after the last key.
    actions = [(0.5 * (i + 1), f'key 0 {KEYS[k]:#04x}') for i, k in enumerate(keys)]
    end = 0.5 * len(keys) + 60
    actions.append((end - 0.5, f'save 0 KestraneTest/{slug(label)}.bmp'))
    sim.session(label, 'Kestrane/' + label, end, actions)
    saved = check_state(os.path.join(folder, 'Scenarios', STATE + '.scn'), figures, label)
    running = any(line.startswith('PUMPRATE ') and line != 'PUMPRATE 0'
                  for line in figures.blocks.get('Left', []))
    sim.picture(label, f'KestraneTest/{slug(label)}.bmp', slug(label), moving=running)
    if saved is None:
        return
    # The saved state loaded again: the same figures at once, and the next minute as it was.
    shutil.copy(os.path.join(folder, 'Scenarios', STATE + '.scn'),
                os.path.join(folder, 'Scenarios', 'KestraneTest', 'Reloaded.scn'))
    ship, cls = focus_of(os.path.join(folder, 'Scenarios', 'KestraneTest', 'Reloaded.scn'))
    capacities = vessel_classes(args.classes)[cls.lower()]
    sim.session(label + ', reloaded', 'KestraneTest/Reloaded', 60, [])
    again = check_state(os.path.join(folder, 'Scenarios', STATE + '.scn'), Figures(), label + ', reloaded')
    if again is not None and vented is not None:
        lost = mass_of(saved[ship], capacities) - mass_of(again.get(ship, {}), capacities)
        checks.check(abs(lost - vented) < 0.01,
                     f'{label}, reloaded: {ship} lost {lost:.3f} kg in the minute, not {vented:g}')


def picture_line(rest, case):
    """`<display> [<t>] [moving]`: the display (0 or 1 for the cockpit's left or right one,
    `extern <id>` for an external one), when (default half a second before the session's end),
    and whether the pump runs then."""
    words = rest.split()
    moving = words[-1:] == ['moving']
    if moving:
        words.pop()
    display = words[:2] if words[:1] == ['extern'] else words[:1]
    when = words[len(display):]
    try:
        t = float(when[0]) if len(when) == 1 else None
    except ValueError:
        when = ['?', '?']
    if not (display in (['0'], ['1']) or (len(display) == 2 and display[1].isdigit())) or len(when) > 1:
        sys.exit(f'{case}: "picture {rest}" is not "picture <mfd> [<t>] [moving]" (mfd 0 or 1) nor '
                 f'"picture extern <id> [<t>] [moving]"')
    return ' '.join(display), t, moving


def play_case(sim, args):
    """A case: `session <scenario> <until>` lines each start a session; inside one, `act <t>
    <driver action>`, `option <simulator option>`, `picture <mfd> [<t>] [moving]` or `picture
    extern <id> [<t>] [moving]` (the picture's name: the case's, the session's number from the
    second on, `-right` or `-extern<id>`, and `-<W>x<H>` at any size but 232 x 232),
    `state <saved scenario>` (the file the figures after it check; default the session's end
    state), `display <id>` (the display the block lines after it are of; default Left), `log
    <text>` (text the log must hold), `end <t>` (the time the last step must reach; default just
    before the end), and the figure lines of the shared list."""
    name = os.path.splitext(os.path.basename(args.case))[0]
    folder = sim.fresh_folder(name)
    scenarios = os.path.join(os.path.dirname(args.case), '..', 'scenarios')
    for f in os.listdir(scenarios):
        shutil.copy(os.path.join(scenarios, f), os.path.join(folder, 'Scenarios', 'KestraneTest', f))
    for number, (header, lines) in enumerate(entries(args.case, 'session'), 1):
        scenario, until = header.rsplit(' ', 1)
        label = f'{name} {number}'
        actions, options, checks_after, pictures, end_mark = [], [], [], [], None
        for word, rest in lines:
            if word == 'act':
                t, action = rest.split(' ', 1)
                actions.append((float(t), action))
            elif word == 'option':
                options.append(rest)
            elif word == 'end':
                end_mark = float(rest)
            elif word == 'picture':
                display, t, moving = picture_line(rest, args.case)
                bmp = f'KestraneTest/{name}-{number}-{len(pictures)}.bmp'
                save = f'extern {display.split()[1]} save {bmp}' if display.startswith('extern') else \
                    f'save {display} {bmp}'
                actions.append((t if t is not None else float(until) - 0.5, save))
                which = {'0': '', '1': '-right'}.get(display, '-' + display.replace(' ', ''))
                pictures.append((bmp, name + (f'-{number}' if number > 1 else '') + which, moving))
            else:
                checks_after.append((word, rest))
        actions.sort(key=lambda a: a[0])
        log = sim.session(label, scenario, float(until), actions, options, end_mark)
        state, display, figures = STATE, 'Left', Figures()
        groups = [(state, figures)]
        for word, rest in checks_after:
            if word == 'state':
                state, figures = rest, Figures()
                groups.append((state, figures))
            elif word == 'display':
                display = rest
            elif word == 'log':
                checks.check(rest in log, f'{label}: Orbiter.log has no "{rest}"')
            elif not figures.add(word, rest, display):
                sys.exit(f'{args.case}: unknown line "{word} {rest}"')
        for state, figures in groups:
            if figures.blocks or figures.ships:
                check_state(os.path.join(folder, 'Scenarios', state + '.scn'), figures, f'{label} ({state})')
        # A picture at another size than the panel's 232 x 232 is named by its size, so that one
        # display seen in several views keeps a picture of each.
        named = set()
        for bmp, picture, moving in pictures:
            path = os.path.join(folder, bmp)
            if os.path.isfile(path) and picture_size(path) != (232, 232):
                picture += '-{}x{}'.format(*picture_size(path))
            if checks.check(picture not in named, f'{label}: two pictures named {picture}; take them in '
                            f'sessions of their own'):
                named.add(picture)
                sim.picture(label, bmp, picture, moving)


def prepare(args):
    """The kit's run script makes the prefix on first use; done once here, so that sessions run
    side by side do not each make it."""
    env = dict(os.environ)
    wine = env.get('WINE', 'wine')
    subprocess.run([wine, 'wineboot', '-i'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([wine, 'reg', 'add', 'HKCU\\Software\\Wine\\Drivers', '/v', 'Graphics', '/d', 'null', '/f'],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # A crash ends the process with Wine's line about it, instead of a debugger waiting for
    # no one.
    subprocess.run([wine, 'reg', 'delete', 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug', '/v',
                    'Debugger', '/f'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-w'], env=env)
    with open(os.path.join(env['WINEPREFIX'], 'user.reg'), encoding='latin-1') as f:
        checks.check('"Graphics"="null"' in f.read(), 'the Wine prefix has no null display driver')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--kit', required=True, help='the real simulator kit (its run script and tools)')
    parser.add_argument('--installed', help='the simulator folder with the package unzipped into it')
    parser.add_argument('--work', help='where the sessions run')
    parser.add_argument('--pictures', help='where the pictures are written')
    parser.add_argument('--references', help='the committed pictures')
    parser.add_argument('--figures', help='the shared list of the pilot scenarios\' figures')
    parser.add_argument('--classes', help='the vessel classes\' tank capacities')
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument('--pilot')
    mode.add_argument('--case')
    mode.add_argument('--prepare', action='store_true')
    args = parser.parse_args()
    for name in ('installed', 'work', 'pictures', 'references', 'figures', 'classes', 'case'):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.prepare:
        prepare(args)
    elif args.pilot:
        play_pilot(Simulator(args), args)
    else:
        play_case(Simulator(args), args)
    print(f'real simulator: {checks.count} checks, {checks.failed} failed')
    return 1 if checks.failed else 0


if __name__ == '__main__':
    sys.exit(main())
