#!/bin/bash
# The administrator's guide lists, in its tables, every client expression, client command
# and message key that the component's code sends or shows, and nothing the code does not:
# an expression by its start up to the first blank, quote or bracket ("#(Appl:Profile",
# "@(where"), a client command by its name ("___Shell"), a message key ("VX16006").
# Usage: CheckAdminGuide.sh SOURCE_FOLDER GUIDE
set -u
source_folder=$1
guide=$2
[ -d "$source_folder" ] && [ -f "$guide" ] || { echo "usage: $0 SOURCE_FOLDER GUIDE" >&2; exit 2; }

kinds=('[#$@]\([A-Za-z_=][A-Za-z0-9_:=/|+-]*' '___[A-Za-z]+|m_[A-Z][A-Za-z]+' 'VX16[0-9]{3}')
names=(expression 'client command' 'message key')

# Wide string literals of the code only, so that comments do not count.
code_literals=$(grep -rhoE 'L"([^"\\]|\\.)*"' --include='*.cpp' --include='*.h' "$source_folder")
guide_tables=$(grep -E '^\|' "$guide" | sed 's/\\|/|/g')  # "\|" is a "|" inside a table cell

failures=0
for i in "${!kinds[@]}"; do
    in_code=$(grep -oE "${kinds[$i]}" <<<"$code_literals" | sort -u)
    in_guide=$(grep -oE "${kinds[$i]}" <<<"$guide_tables" | sort -u)
    [ -n "$in_code" ] || { echo "no ${names[$i]} found in $source_folder: the check itself is broken"; failures=$((failures + 1)); }
    while read -r item; do
        [ -n "$item" ] || continue
        echo "${names[$i]} $item: used by the code, missing from the tables of $guide"
        failures=$((failures + 1))
    done < <(comm -23 <(echo "$in_code") <(echo "$in_guide"))
    while read -r item; do
        [ -n "$item" ] || continue
        echo "${names[$i]} $item: in the tables of $guide, not used by the code"
        failures=$((failures + 1))
    done < <(comm -13 <(echo "$in_code") <(echo "$in_guide"))
done
echo "$failures differences between the guide and the code"
[ "$failures" -eq 0 ]
