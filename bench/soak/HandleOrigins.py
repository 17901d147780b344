#!/usr/bin/env python3
"""Who created the handles a soak load kept: reads the Wine trace of one load,

    WINEDEBUG=+server,+relay wine bench_soak.exe <seconds> component 2> trace.log

with the registry value HKCU\\Software\\Wine\\Debug "RelayInclude" naming the handle-making
calls (kernel32.CreateEventW;kernel32.CreateMutexW;kernel32.CreateFileW;kernel32.CreateThread;
...), and sorts every handle that is there at the load's last count and not at the one before
by what made it and whether the program itself asked for it or a system library did.
Usage: HandleOrigins.py trace.log [first address of the program's code] [end]
"""
import collections
import re
import sys

lines = open(sys.argv[1], errors='replace').read().splitlines()
code_begin = int(sys.argv[2], 16) if len(sys.argv) > 2 else 0x401000
code_end = int(sys.argv[3], 16) if len(sys.argv) > 3 else 0x1000000

# The process of each thread: first threads say it, later ones inherit their creator's.
process_of = {}
for line in lines:
    m = re.match(r'([0-9a-f]{4}): init_first_thread\(\) = \w+ \{ pid=([0-9a-f]+), tid=([0-9a-f]+)', line)
    if m:
        process_of[m.group(3)] = m.group(2)
        continue
    m = re.match(r'([0-9a-f]{4}): new_thread\(\) = 0 \{ tid=([0-9a-f]+)', line)
    if m and m.group(1) in process_of:
        process_of[m.group(2)] = process_of[m.group(1)]

counts = [(i, line) for i, line in enumerate(lines) if 'get_system_handles() = 0' in line]
counter_thread = counts[0][1][:4]
process = process_of[counter_thread]
threads = {t for t, p in process_of.items() if p == process}


def own_handles(line):
    return {h for owner, h in re.findall(r'owner=([0-9a-f]+),handle=([0-9a-f]+)', line) if owner == process}


(before_at, before), (after_at, after) = counts[-2], counts[-1]
kept = own_handles(after) - own_handles(before)

# The last request between the counts that answered each handle.
made = {}
reply = re.compile(r'^([0-9a-f]{4}): (\w+)\(\) = \w+ \{.*?handle=([0-9a-f]+)')
for i in range(before_at + 1, after_at):
    line = lines[i]
    if line[:4] in threads and 'get_system_handles' not in line:
        m = reply.match(line)
        if m:
            made[m.group(3)] = (i, m.group(1), m.group(2))

kinds, askers = collections.Counter(), collections.Counter()
for handle in kept:
    if handle not in made:
        kinds['made before the first count'] += 1
        continue
    i, thread, request = made[handle]
    kind = request
    if request == 'open_file_object':
        asked = next((lines[j] for j in range(i - 1, i - 50, -1) if lines[j].startswith(thread + ': open_file_object( ')), '')
        name = re.search(r'filename=L"([^"]*)"', asked)
        kind = 'opened ' + re.sub(r'OLE_[0-9a-f]+', 'OLE_<apartment>', name.group(1) if name else '?')
    kinds[kind] += 1
    asker = 'inside a system library (no relayed call)'
    for j in range(i + 1, min(len(lines), i + 60)):
        line = lines[j]
        if line.startswith(thread + ':Ret ') and 'retval=%08x' % int(handle, 16) in line:
            m = re.search(r'Ret\s+(\S+)\(\).*ret=([0-9a-f]+)', line)
            inside = code_begin <= int(m.group(2), 16) < code_end
            asker = m.group(1) + (' called by the program' if inside else ' called by a system library')
            break
    askers[asker] += 1

print('%d handles kept between the last two counts' % len(kept))
for kind, n in kinds.most_common():
    print('  %4d %s' % (n, kind))
print('asked for by:')
for asker, n in askers.most_common():
    print('  %4d %s' % (n, asker))
