# accessibility.py PID SAVE-PATH WINDOW: steps of keys, each read back through the bus: what a
# screen reader does not say (screen_reader.py hears the rest through Orca).
import gi, os, subprocess, sys, time, warnings
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib
warnings.simplefilter('ignore', DeprecationWarning)
pid, path, win = int(sys.argv[1]), sys.argv[2], sys.argv[3]
events, busy, S = [], [], Atspi.StateType
listener = Atspi.EventListener.new(events.append)  # kept: events stop with it
listener.register('object:')
def pump(until, limit=60):
    end = time.time() + limit
    while time.time() < end and not until():
        GLib.MainContext.default().iteration(False) or time.sleep(0.01)
    return until()

children = lambda o: [o.get_child_at_index(i) for i in range(o.get_child_count())]
app = lambda: next((a for a in children(Atspi.get_desktop(0)) if a.get_process_id() == pid), 0)
pump(app, 20)
# Once more with the program up, so that it surely hears of the listener.
listener.deregister('object:'); listener.register('object:'); pump(lambda: False, 1)
window = children(app())[0]
results = next(c for c in children(window) if c.get_role() in (Atspi.Role.LIST, Atspi.Role.TREE))
has = lambda o, state: o.get_state_set().contains(state)
row = lambda r: Atspi.Table.get_accessible_at(results, r, 0)  # 0-based
header = results.get_description
rows = lambda: Atspi.Table.get_n_rows(results)
fired = lambda kind: [e for e in events if e.type == 'object:' + kind]
described = lambda: [e for e in fired('property-change:accessible-description')
                     if e.source.get_name() == results.get_name()]
toggle = lambda o: [o.get_action_name(i).lower() for i in range(o.get_n_actions())].index('toggle')
alert = lambda: next((w for w in children(app()) if w.get_role() == Atspi.Role.ALERT), None)
saved = lambda: open(path, encoding='utf-8').read().splitlines()
def strip():  # the list's left edge across a few rows, as the screen shows it
    txt = subprocess.run(['import', '-window', win, '-crop', '8x40+8+230', 'txt:-'],
                         capture_output=True, text=True).stdout.splitlines()[1:]
    return [tuple(int(v) for v in t.split('(')[1].split(')')[0].split(',')[:3]) for t in txt]
def contrast(rgb):  # against white
    lin = [v / 3295 if v <= 10.3 else ((v / 255 + 0.055) / 1.055) ** 2.4 for v in rgb]
    return 1.05 / (0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2] + 0.05)
keys = lambda *k: lambda: subprocess.run(['sh', '-c', ' && '.join(k)], check=True)
focused = strip()
steps = [  # action, what it waits for, checks: (what, passes)
    (None, lambda: True, [
        ('the first focus is in the list', lambda: has(results, S.FOCUSED)),
        ('it manages its rows', lambda: has(results, S.MANAGES_DESCENDANTS)),
    ]),
    (keys('xdotool key Tab'), lambda: not has(results, S.FOCUSED), [
        ('the focus showed in the empty list, at least 3:1',
         lambda: max([contrast(a) for a, b in zip(focused, strip()) if a != b] or [1]) >= 3),
    ]),
    (keys('xdotool key Return'), lambda: 'Total Words' in header(), [
        ('Enter pressed the button; the load changed the description', lambda: described()),
        ('one row a word', lambda: rows() == int(header()[25:]) > 1000),
        ('the load is told, not row by row', lambda: 0 < len(events) < 50),
        ('a row can be ticked', lambda: toggle(row(0)) >= 0 and not has(row(0), S.CHECKED)),
        ('the window is not busy', lambda: not has(window, S.BUSY)),
    ]),
    (keys('xdotool key shift+Tab space'), lambda: fired('state-changed:checked'), [
        ('a tick fires the checked event', lambda: fired('state-changed:checked')[0].detail1),
        ('the ticked row says so', lambda: has(row(0), S.CHECKED)),
    ]),
    (keys('xdotool key space'), lambda: fired('state-changed:checked'), [
        ('so does an untick', lambda: fired('state-changed:checked')[0].detail1 == 0),
    ]),
    # The save yields as it writes, so the bus is answered while the window is busy.
    (keys('xdotool key Tab Tab Return', 'sleep 1', 'xdotool key ctrl+a', f'xdotool type "{path}"',
          'xdotool key Return'),
     lambda: busy.append(has(window, S.BUSY)) or os.path.exists(path) and not busy[-1], [
        ('the window is busy while it saves', lambda: any(busy)),
        ('rows are named by their words',
         lambda: [row(0).get_name(), row(len(saved()) - 1).get_name()] == [saved()[0], saved()[-1]]),
    ]),
    (keys('xdotool key Tab Return'), lambda: header() == 'Result(s)', [
        ('Clear emptied the list, told', lambda: described() and rows() == 0),
    ]),
    (keys('xdotool key Tab Tab Tab Tab Return'), alert, [
        ('the Help box is an alert with its text',
         lambda: alert().get_description().startswith('Questions? Please contact')),
    ]),
    (keys('xdotool windowactivate --sync $(xdotool search --onlyvisible --name ^Lexivane$ '
          f'| grep -vx {win})', 'xdotool key Return'), lambda: alert() is None, []),
]
failed = 0
for action, until, checks in steps:
    events.clear()
    action and action()
    pump(until) or sys.exit(f'FAIL: timed out in step {steps.index((action, until, checks))}')
    pump(lambda: False, 0.5)  # what the step fires after
    for what, check in checks:
        ok = bool(check()); failed += not ok
        print(('ok   ' if ok else 'FAIL ') + what)
sys.exit(1 if failed else 0)
