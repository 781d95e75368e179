# screen_reader.py DIR WORDS SAVE-PATH PROGRAM...: the program heard through Orca, keys only.
# Orca runs with speech off; its debug log, written to a terminal so that it is flushed line by
# line, is read as what it would say. Prints how long Orca took to say each thing.
import os, re, subprocess, sys, termios, threading, time
from datetime import datetime

tmp, words_file, save_path, program = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
words = open(words_file, encoding='utf-8').read().splitlines()
five = [w for w in words if len(w) == 5]
lines, spoken, cv = [], [], threading.Condition()  # (time, text): all the log, and the speech
secs = lambda h, m, s: int(h) * 3600 + int(m) * 60 + float(s)  # as Orca stamps its log
clock = lambda: (lambda t: secs(t.hour, t.minute, t.second + t.microsecond / 1e6))(datetime.now())

master, slave = os.openpty()
attrs = termios.tcgetattr(slave)
attrs[1] &= ~termios.OPOST
termios.tcsetattr(slave, termios.TCSANOW, attrs)
log = open(os.path.join(tmp, 'orca.log'), 'w', encoding='utf-8')
orca = subprocess.Popen(['orca', '-d', 'speech', '-d', 'main-window', '-d', 'splash-window', '-u',
                         os.path.join(tmp, 'orca-prefs'), '--debug-file', os.ttyname(slave)],
                        stdout=log, stderr=subprocess.STDOUT)


def read_log():
    rest, at = b'', 0
    while chunk := os.read(master, 65536):
        *done, rest = (rest + chunk).split(b'\n')
        with cv:
            for line in (raw.decode('utf-8', 'replace') for raw in done):
                log.write(line + '\n')
                if m := re.match(r'(\d\d):(\d\d):(\d\d\.\d+) - (.*)', line):
                    at = secs(m[1], m[2], m[3])
                lines.append((at, line))
                if m and (s := re.match(r"SPEECH OUTPUT: '(.*)'(?: voice=\w+)? ?\{'", m[4])):
                    spoken.append((at, s[1]))
            cv.notify_all()


threading.Thread(target=read_log, daemon=True).start()
failed = 0


def since(t, of):
    with cv:
        return [x for at, x in of if at >= t]


def wait(until, limit):
    end = time.time() + limit
    with cv:
        while not until() and time.time() < end:
            cv.wait(0.1)
        return until()


def keys(*k):  # the time of the last key
    for key in k:
        t = clock()
        subprocess.run(['xdotool', 'key', key], check=True)
        time.sleep(0.3)
    return t


def settle():  # until Orca has been quiet for a second
    while clock() - (spoken[-1][0] if spoken else 0) < 1:
        time.sleep(0.2)


def step(k, pattern, what, limit=10, checked=True):
    # Keys, then Orca's first utterance matching pattern: how long it took, and what it said.
    t = keys(*k) if k else clock()
    hits = lambda: [at for at, s in list(spoken) if at >= t and re.search(pattern, s)]
    ok = wait(hits, limit)
    took = f'{hits()[0] - t:.2f} s' if ok else f'nothing within {limit} s'
    print(f'     {what}: {took} | heard {since(t, spoken)[:8]}', flush=True)
    if checked:
        global failed
        failed += not ok
        print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    settle()
    return t


def load(k, tab, n, name):  # a load, Tab into the list, where-am-I on the 4th word
    step(k, rf'(?<![\d,]){n} words?\b', f'{name}: the load is told with its count ({n})', 60)
    step(tab, r'Results', f'{name}: the list is spoken on Tab into it', 600)
    t = clock()
    keys('Down', 'Down', 'Down')
    wait(lambda: len([u for u in since(t, spoken) if not u.endswith(' ')]) >= 3, 10)
    settle()
    step(['KP_Enter'], rf'\b4 of {n}\b', f'{name}: where-am-I on the 4th word: 4 of {n}')


wait(lambda: any('Starting registry' in l for _, l in lines), 30) or sys.exit('no Orca')
time.sleep(1)
app = subprocess.Popen(program)
step([], r'Lexivane', 'the window is announced', 30)
# The focus starts in the list: Tab to Combo1, down to "5-letters", Display Filtered List.
keys('Tab', 'Tab', 'Tab', 'Tab', 'Tab', 'Down', 'Down', 'Down', 'Down')
settle()
load(['Tab', 'Return'], ['Tab', 'Tab'], len(five), '5-letters')
deleted = step(['Delete'], rf'^{re.escape(five[4])}\b', 'Delete: the row now current is spoken')
step(['KP_Enter'], rf'4 of {len(five) - 1}\b', 'where-am-I answers after Delete')
# The removed row may be told unfocused and unselected as it goes; no focus is on an object
# that is gone by the time Orca asks about it.
after = since(deleted, lines)
dead = [l for l, next_line in zip(after, after[1:]) if re.search(r'focus: for |focused for .*\(1, ', l)
        and ('[DEAD]' in l or 'defunct' in next_line)]
failed += bool(dead)
print(('FAIL ' if dead else 'ok   ') + 'no focus names the removed row', flush=True)
for state in ('checked', 'not checked'):
    step(['space'], rf'{re.escape(five[4])} {state}\b', f'Space on a row is heard: {state}')
step(['Tab', 'Tab', 'Return'], r'Save dialog', 'the Save dialog', 20, checked=False)
keys('alt+n', 'ctrl+a')  # its file name field
subprocess.run(['xdotool', 'type', save_path], check=True)
step(['Return'], r'\bSaved as s\.txt\b', 'the save is told', 30)
failed += not os.path.exists(save_path)
load(['shift+Tab', 'Return'], ['shift+Tab'], len(words), 'entire list')
step(['Tab', 'Tab', 'Tab', 'Return'], r'\bempty\b', 'Clear Results is told: the list is empty')

app.terminate()
app.wait(10)
orca.terminate()
try:
    orca.wait(10)
except subprocess.TimeoutExpired:
    orca.kill()
sys.exit(1 if failed else 0)
