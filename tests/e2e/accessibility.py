"""Drives the window by keys and reads it back through the accessibility bus.
   accessibility.py PID SAVE-PATH WINDOW
   Each step presses keys, waits for what it names, then checks."""
import os, subprocess, sys, time
import gi, warnings
warnings.simplefilter("ignore", DeprecationWarning)
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib

events = []
listener = Atspi.EventListener.new(lambda e: events.append(e))
for kind in ('object:', 'focus:'):
    listener.register(kind)

def pump(until, limit=60):
    end = time.time() + limit
    while time.time() < end:
        GLib.MainContext.default().iteration(False)
        if until():
            return True
        time.sleep(0.01)
    return False

def app():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        a = desktop.get_child_at_index(i)
        if a and a.get_process_id() == int(sys.argv[1]):
            return a

pump(app, 20)
pump(lambda: False, 1)  # the program hears of the listener
window = app().get_child_at_index(0)
results = [c for c in (window.get_child_at_index(i) for i in range(window.get_child_count()))
           if c.get_role() in (Atspi.Role.LIST, Atspi.Role.TREE, Atspi.Role.TABLE)][0]

def has(obj, state):
    return obj.get_state_set().contains(state)

def row(n):
    return results.get_child_at_index(n)

def header():
    return results.get_description()

def toggle(obj):  # the index of the row's toggle action
    names = [obj.get_action_name(i).lower() for i in range(obj.get_n_actions())]
    return names.index('toggle') if 'toggle' in names else None

def fired(kind, name=None):
    return [e for e in events
            if e.type.startswith(kind) and (name is None or e.source.get_name() == name)]

def from_list():
    return [e for e in events if e.source == results or e.source.get_parent() == results]

def strip():  # the list's left edge across a few rows, as the screen shows it
    txt = subprocess.run(['import', '-window', sys.argv[3], '-crop', '8x40+8+230', 'txt:-'],
                         capture_output=True, text=True).stdout
    return [tuple(int(v) for v in line.split('(')[1].split(')')[0].split(',')[:3])
            for line in txt.splitlines()[1:]]

def luminance(rgb):
    c = [v / 255 for v in rgb]
    c = [v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4 for v in c]
    return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]

def focus_contrast():  # of what the focus drew at start against the list's background
    drawn = [a for a, b in zip(focused, strip()) if a != b]
    return (luminance((255, 255, 255)) + 0.05) / (min(map(luminance, drawn)) + 0.05) if drawn else 1

def saved():
    with open(sys.argv[2], encoding='utf-8', newline='\r\n') as f:
        return [line.rstrip('\r\n') for line in f]

def alert():
    return next((w for w in (app().get_child_at_index(i) for i in range(app().get_child_count()))
                 if w and w.get_role() == Atspi.Role.ALERT), None)

def in_box(keys):  # the window manager gives the box the keyboard once activated
    ids = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Lexivane$'],
                         capture_output=True, text=True).stdout.split()
    box = [i for i in ids if i != sys.argv[3]][0]
    subprocess.run(['xdotool', 'windowactivate', '--sync', box, 'key'] + keys.split())

S = Atspi.StateType
busy = []
# keys, what to wait for, then the checks: (what, passes).
steps = [
    ('', lambda: True, [
        ('the list has a name', lambda: results.get_name() != ''),
        ('the header is the list\'s description', lambda: header() == 'Result(s)'),
        ('the column header is reachable', lambda: row(0).get_name() == 'Result(s)'),
        ('the first focus is in the list', lambda: has(results, S.FOCUSED)),
        ('the window is not busy', lambda: not has(window, S.BUSY)),
    ]),
    ('Tab', lambda: not has(results, S.FOCUSED), [
        ('the focus in the empty list showed, at least 3:1', lambda: focus_contrast() >= 3),
    ]),
    ('Return', lambda: 'Total Words' in header(), [
        ('Enter on a button pressed it', lambda: header().startswith('Result(s) - Total Words: ')),
        ('the load changed the description', lambda: fired(
            'object:property-change:accessible-description', results.get_name())),
        ('one row a word, the header first', lambda: results.get_child_count() ==
         int(header().split(': ')[1]) + 1 > 1000),
        ('a load is not told row by row', lambda: len(from_list()) < 50),
        ('a row is a checkable item', lambda: row(1).get_role() == Atspi.Role.LIST_ITEM and
         (has(row(1), S.CHECKABLE) or toggle(row(1)) is not None) and not has(row(1), S.CHECKED)),
        ('the window is not busy after the load', lambda: not has(window, S.BUSY)),
    ]),
    ('shift+Tab space', lambda: fired('object:state-changed:checked'), [
        ('a tick fires the checked event', lambda: fired('object:state-changed:checked')[0]
         .detail1 == 1),
        ('the ticked row says so', lambda: has(row(1), S.CHECKED)),
    ]),
    (lambda: row(1).do_action(toggle(row(1))),
     lambda: fired('object:state-changed:checked'), [
        ('an untick by the row\'s action fires it too',
         lambda: fired('object:state-changed:checked')[0].detail1 == 0),
    ]),
    # The save yields as it writes, so the bus is answered while the window is busy.
    (lambda: subprocess.run(['sh', '-c', 'xdotool key Tab Tab Return; sleep 1; xdotool key ctrl+a'
                             f' && xdotool type "{sys.argv[2]}" && xdotool key Return']),
     lambda: busy.append(has(window, S.BUSY)) or os.path.exists(sys.argv[2]) and not busy[-1], [
        ('the window is busy while it saves', lambda: any(busy)),
        ('rows are named by their words', lambda: [row(1).get_name(), row(len(saved())).get_name()]
         == [saved()[0], saved()[-1]]),
    ]),
    ('Tab Return', lambda: header() == 'Result(s)', [
        ('Clear changed the description', lambda: fired(
            'object:property-change:accessible-description', results.get_name())),
        ('Clear emptied the list', lambda: results.get_child_count() == 1),
    ]),
    ('Tab Tab Tab Tab Return', lambda: alert(), [
        ('the Help box is an alert with its text', lambda: alert().get_description().startswith(
            'Questions? Please contact')),
    ]),
    (lambda: in_box('Return'), lambda: alert() is None, []),
]
failed = 0
focused = strip()
for keys, until, checks in steps:
    events.clear()
    if callable(keys):
        keys()
    elif keys:
        subprocess.run(['xdotool', 'key', '--delay', '100'] + keys.split(), check=True)
    if not pump(until):
        print(f'FAIL: after {keys!r}: timed out')
        sys.exit(1)
    pump(lambda: False, 0.5)  # what the step fires after
    for what, check in checks:
        ok = bool(check())
        failed += not ok
        print(('ok   ' if ok else 'FAIL ') + what)
sys.exit(1 if failed else 0)
