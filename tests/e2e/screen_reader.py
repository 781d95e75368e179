# screen_reader.py DIR WORDS SAVE-PATH PROGRAM...: the program heard through Orca, keys only.
# Orca runs with speech off; its debug log, written to a terminal so that it is flushed line by
# line, is read as what it would say. Prints each step with how long Orca took to speak.
import os, re, subprocess, sys, termios, threading, time
from datetime import datetime

tmp, words_file, save_path, program = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
words = open(words_file, encoding='utf-8').read().splitlines()
spoken, lines, lock = [], [], threading.Condition()


def clock():  # seconds since midnight, as Orca stamps its log
    t = datetime.now()
    return t.hour * 3600 + t.minute * 60 + t.second + t.microsecond / 1e6


master, slave = os.openpty()
attrs = termios.tcgetattr(slave)
attrs[1] &= ~termios.OPOST
termios.tcsetattr(slave, termios.TCSANOW, attrs)
log = open(os.path.join(tmp, 'orca.log'), 'w', encoding='utf-8')
orca = subprocess.Popen(['orca', '-d', 'speech', '-d', 'main-window', '-d', 'splash-window',
                         '-u', os.path.join(tmp, 'orca-prefs'), '--debug-file',
                         os.ttyname(slave)], stdout=log, stderr=subprocess.STDOUT)
stamp = re.compile(r"^(\d\d):(\d\d):(\d\d\.\d+) - SPEECH OUTPUT: '(.*)'(?: voice=\w+)? ?\{'")


def read_log():
    rest = b''
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:
            return
        rest += chunk
        *done, rest = rest.split(b'\n')
        with lock:
            for raw in done:
                line = raw.decode('utf-8', 'replace')
                log.write(line + '\n')
                lines.append(line)
                m = stamp.match(line)
                if m:
                    spoken.append((int(m[1]) * 3600 + int(m[2]) * 60 + float(m[3]), m[4]))
            lock.notify_all()


threading.Thread(target=read_log, daemon=True).start()


def wait(until, limit):
    end = time.time() + limit
    with lock:
        while not until() and time.time() < end:
            lock.wait(0.1)
        return until()


failed = 0


def check(what, ok):
    global failed
    failed += not ok
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)


def logged_since(t):
    with lock:
        return [l for l in lines if (m := re.match(r'(\d\d):(\d\d):(\d\d\.\d+) - ', l)) and
                int(m[1]) * 3600 + int(m[2]) * 60 + float(m[3]) >= t]


def heard_since(t):
    with lock:
        return [s for at, s in spoken if at >= t]


def keys(*k, pause=0.3):  # the time of the last key
    for key in k:
        t = clock()
        subprocess.run(['xdotool', 'key', key], check=True)
        time.sleep(pause)
    return t


def hear(t, pattern, limit, what):
    # Orca's first utterance matching pattern at or after t: the delay and all said since t.
    rx = re.compile(pattern)
    found = []

    def matched():
        with lock:
            found[:] = [(at, s) for at, s in spoken if at >= t and rx.search(s)]
        return bool(found)

    ok = wait(matched, limit)
    said = heard_since(t)
    delay = found[0][0] - t if ok else None
    print(f'     {what}: ' + (f'{delay:.2f} s' if ok else f'not within {limit} s') +
          f' | heard {said[:8]}', flush=True)
    return ok, delay, said


def settle(seconds=1.0):  # until Orca has been quiet that long
    while True:
        with lock:
            last = spoken[-1][0] if spoken else 0
        if clock() - last >= seconds:
            return
        time.sleep(0.2)


wait(lambda: any('Starting registry' in l for l in lines), 30) or sys.exit('FAIL: Orca did not start')
time.sleep(1)
t = clock()
app = subprocess.Popen(program)
check('the window is announced', hear(t, r'Lexivane', 30, 'window')[0])
settle()
five = [w for w in words if len(w) == 5]
every = len(words)


def count_said(n):
    return rf'(?<![\d,]){n}(?![\d,]).*\bwords?\b|\bwords?\b.*(?<![\d,]){n}(?![\d,])'


def load_and_tab_in(load_keys, tab_keys, n, name):
    # Starts a load with Return on a button, then Tabs into the list: the count, then the list.
    t = keys(*load_keys)
    ok, _, _ = hear(t, count_said(n), 60, f'{name}: the count after the load')
    check(f'{name}: the load is told with its count ({n})', ok)
    settle()
    t = keys(*tab_keys)
    ok, _, _ = hear(t, r'Results', 600, f'{name}: Tab into the list')
    check(f'{name}: the list is spoken on Tab', ok)
    settle()


def position(n, name):
    t = keys('Down')
    keys('Down', 'Down')
    wait(lambda: len([u for u in heard_since(t) if not u.endswith(' ')]) >= 3, 10)
    settle()
    t = keys('KP_Enter')
    ok, _, said = hear(t, rf'\b4 of {n}\b', 10, f'{name}: where am I on the 4th word')
    check(f'{name}: the 4th word is 4 of {n}', ok)
    settle()


# The focus starts in the list; Tab to Combo1, pick "5-letters", then Display Filtered List.
keys('Tab', 'Tab', 'Tab', 'Tab', 'Tab')
settle()
keys('Down', 'Down', 'Down', 'Down')
settle()
load_and_tab_in(['Tab', 'Return'], ['Tab', 'Tab'], len(five), '5-letters')
position(len(five), '5-letters')

t = deleted = keys('Delete')
ok, _, said = hear(t, rf'^{re.escape(five[4])}\b', 10, 'Delete: the row now current')
check('after Delete the row now current is spoken', ok)
settle()
t = keys('KP_Enter')
ok, _, _ = hear(t, rf'4 of {len(five) - 1}\b', 10, 'where am I after Delete')
check('where-am-I answers after Delete', ok)
# The removed row may still be told unfocused and unselected as it goes; nothing focuses it.
check('no focus names the removed row', not [l for l in logged_since(deleted) if re.search(
    r'(focus:|state-changed:focused) for \[DEAD\].*\(1, ', l)])
settle()
for state in ('checked', 'not checked'):
    t = keys('space')
    ok, _, _ = hear(t, rf'{re.escape(five[4])} {state}\b', 10, f'Space: {state}')
    check(f'Space on a row is heard: {state}', ok)
    settle()

# Save (Tab to the button, its dialog, a path), heard to finish.
t = keys('Tab', 'Tab', 'Return')
hear(t, r'Save dialog', 20, 'the Save dialog')
keys('alt+n', 'ctrl+a')  # its file name field
subprocess.run(['xdotool', 'type', save_path], check=True)
t = keys('Return')
ok, _, _ = hear(t, r'\b[Ss]aved\b', 30, 'Save: heard to finish')
check('the save is told', ok and os.path.exists(save_path))
settle()

# Display Entire List: from Save, Shift+Tab to its button.
load_and_tab_in(['shift+Tab', 'Return'], ['shift+Tab'], every, 'entire list')
position(every, 'entire list')

t = keys('Tab', 'Tab', 'Tab', 'Return')  # to Clear Results
ok, _, _ = hear(t, r'\bempty\b', 10, 'Clear Results')
check('Clear Results is told: the list is empty', ok)
settle()

app.terminate()
app.wait(10)
orca.terminate()
try:
    orca.wait(10)
except subprocess.TimeoutExpired:
    orca.kill()
sys.exit(1 if failed else 0)
