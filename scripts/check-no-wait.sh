#!/usr/bin/env bash
# Fails when product code can make the window's thread wait: nested event
# loops (processEvents, QEventLoop, a dialog's exec(), the static
# QMessageBox/QFileDialog calls), sleeps, or QProcess's blocking waitFor*
# calls. A wait that is bounded and cannot run on the window's thread while
# the program is live (shut-down code, a worker thread, a separate process),
# the program's own event loop, or a dialog that a user's direct command waits
# for, stays only with a marker on the same line that says why:
#     // wait-ok: <reason>
# Tests, benchmarks and fuzz targets are not product code and are not checked.
set -euo pipefail
cd "$(dirname "$0")/.."

product_dirs=(app decks mixer search convert broadcast analysis platform ffmpeg download preview
    formats net tools catalog)
pattern='processEvents|ProcessMessages|QEventLoop|sleep_for|sleep_until|\busleep\s*\(|\bnanosleep\s*\(|(^|[^_a-zA-Z])sleep\s*\(|waitFor(Started|Finished|ReadyRead|BytesWritten)'
pattern+='|\bexec\s*\(|QMessageBox::(question|information|warning|critical|about|aboutQt)\s*\(|QFileDialog::get\w+\s*\('

offenders=$(grep -rnE "$pattern" --include='*.cpp' --include='*.h' "${product_dirs[@]}" |
    grep -vE '//\s*wait-ok:\s*\S' |
    grep -vE '^[^:]+:[0-9]+:\s*(//|\*)' || true)

if [ -n "$offenders" ]; then
    echo "The window's thread must never wait. These lines block or nest the event loop"
    echo "(mark a bounded wait off the window's thread with '// wait-ok: <reason>'):"
    echo "$offenders"
    exit 1
fi
echo "no-wait check: no blocking call or nested event loop in product code"
