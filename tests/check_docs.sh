#!/usr/bin/env bash
# The documentation in both languages says the same things: every docs/ja/X.md
# has a docs/en/X.md (and the other way round) that links back to it, as
# README.md (Japanese) and README.en.md (English) link to each other, and each
# pair has the same headings (level by level, in order), the same code blocks
# (byte for byte) and the same links (once a link to one language's page is
# read as a link to the other's). Every link to a file of the tree must reach
# one.
#   check_docs.sh SOURCES
set -u
root=$1
cd "$root" || exit 1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# What of a Markdown text must match its twin, as tagged lines: "H level",
# "C line" for each line of a code block (fences included), "L target" for
# each link. A link's #fragment is dropped (headings differ by language), a
# path segment naming the text's own language (ja or en, and README.md or
# README.en.md) becomes SELF and the other's TWIN, and a locale segment of a
# web address (ja-jp, en-us) becomes LOCALE.
summarize() {  # FILE SELF TWIN
    awk -v self="$2" -v twin="$3" '
        function normal(target,   n, parts, i, out) {
            sub(/#.*/, "", target)
            n = split(target, parts, "/")
            out = ""
            for (i = 1; i <= n; i++) {
                if (target ~ /^[a-z]+:/ && parts[i] ~ /^[a-z][a-z]-[a-z][a-z]$/)
                    parts[i] = "LOCALE"
                else if (target !~ /^[a-z]+:/ && parts[i] == self)
                    parts[i] = "SELF"
                else if (target !~ /^[a-z]+:/ && parts[i] == twin)
                    parts[i] = "TWIN"
                else if (target !~ /^[a-z]+:/ && parts[i] ~ /^README(\.en)?\.md$/)
                    parts[i] = (parts[i] == (self == "ja" ? "README.md" : "README.en.md")) ? "SELF" : "TWIN"
                out = out (i > 1 ? "/" : "") parts[i]
            }
            return out
        }
        /^```/ { code = !code; print "C " $0; next }
        code { print "C " $0; next }
        /^#+ / { match($0, /^#+/); print "H " RLENGTH }
        {
            line = $0
            while (match(line, /\]\([^)]*\)/)) {
                print "L " normal(substr(line, RSTART + 2, RLENGTH - 3))
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

# Compares two texts' summaries: headings and code blocks in order, links as a
# set with their counts (a sentence may name them in another order).
compare() {  # NAME_A SUMMARY_A NAME_B SUMMARY_B
    local kind
    for kind in H C L; do
        grep "^$kind " "$2" > "$work/a" || true
        grep "^$kind " "$4" > "$work/b" || true
        if [ "$kind" = L ]; then
            LC_ALL=C sort -o "$work/a" "$work/a"
            LC_ALL=C sort -o "$work/b" "$work/b"
        fi
        if ! cmp -s "$work/a" "$work/b"; then
            case $kind in H) what=headings ;; C) what="code blocks" ;; L) what=links ;; esac
            echo "FAILED: $1 and $3 differ in their $what (< $1, > $3):"
            diff "$work/a" "$work/b" | grep '^[<>]' | head -n 20
            fail=1
        fi
    done
}

# Every link to a file of the tree reaches one.
check_targets() {  # FILE DIR
    local target
    while read -r target; do
        target=${target%%#*}
        [ -z "$target" ] && continue
        case $target in *:*) continue ;; esac
        if [ ! -e "$2/$target" ]; then
            echo "FAILED: $1 links to $target, which does not exist"
            fail=1
        fi
    done < <(grep -o '](\([^)]*\))' "$1" | sed 's/^](\(.*\))$/\1/')
}

for page in docs/ja/*.md docs/en/*.md; do
    [ -e "$page" ] || continue
    lang=${page#docs/}
    lang=${lang%%/*}
    other=$([ "$lang" = ja ] && echo en || echo ja)
    name=$(basename "$page")
    check_targets "$page" "docs/$lang"
    if [ ! -e "docs/$other/$name" ]; then
        echo "FAILED: $page has no twin docs/$other/$name"
        fail=1
        continue
    fi
    summarize "$page" "$lang" "$other" > "$work/$lang.sum"
    if ! grep -qx "L ../TWIN/$name" "$work/$lang.sum"; then
        echo "FAILED: $page does not link to its twin ../$other/$name"
        fail=1
    fi
    [ "$lang" = ja ] || continue
    summarize "docs/en/$name" en ja > "$work/en.sum"
    compare "$page" "$work/ja.sum" "docs/en/$name" "$work/en.sum"
done
if ! ls docs/ja/*.md > /dev/null 2>&1; then
    echo "FAILED: no page in docs/ja"
    fail=1
fi

# The READMEs: README.md in Japanese, README.en.md in English.
for readme in README.md README.en.md; do
    check_targets "$readme" .
done
summarize README.md ja en > "$work/ja.sum"
summarize README.en.md en ja > "$work/en.sum"
grep -qx "L TWIN" "$work/ja.sum" || { echo "FAILED: README.md does not link to README.en.md"; fail=1; }
grep -qx "L TWIN" "$work/en.sum" || { echo "FAILED: README.en.md does not link to README.md"; fail=1; }
compare README.md "$work/ja.sum" README.en.md "$work/en.sum"
# Each README's first screen, its first 40 lines, holds what an administrator
# needs first: a text of each item, per language.
while IFS='|' read -r item ja en; do
    for pair in "README.md|$ja" "README.en.md|$en"; do
        head -n 40 "${pair%%|*}" | grep -qF -- "${pair#*|}" && continue
        echo "FAILED: the first 40 lines of ${pair%%|*} lack $item (\"${pair#*|}\")"
        fail=1
    done
done << 'EOF'
what kavo is|Windows NT サービス|Windows NT service
the Windows versions|Windows 2000 から Windows 11|Windows 2000 to Windows 11
what was tested where|Wine 8.0|Wine 8.0
the dialog's language|日本語|Japanese
how it reads on other code pages|コードページ 932|code page 932
where the release comes from|](docs/ja/release.md)|](docs/en/release.md)
the install command|kavo.exe /install|kavo.exe /install
the dialog as the other way|ダイアログ|dialog
how to check it runs|sc query|sc query
the second event source name|(kavo)|(kavo)
the 1336 pitfall|1336|1336
its fix|icacls|icacls
that the dialog registers start by hand|手動|by hand
how to start at boot|start= auto|start= auto
EOF
[ $fail = 0 ] && echo "docs: every page has its twin, the twins and the two READMEs match, and each README opens with what to do first"
exit $fail
