# bash completion for jeerbox-convert                        -*- shell-script -*-
#
# The options are read from the program's own --help each time, so that completion offers
# exactly the options the installed program has. An option's argument is completed by the
# name --help gives it: folders for a ...DIR, files for a ...FILE, nothing for any other
# (a number, a level); every other word is a sound file.

# The argument that option $2 of program $1 takes, as --help writes it: "OUTDIR" for
# "-o OUTDIR", "FILE" for "--gam=FILE", "[=DB]" for "--trim[=DB]" (one that may be left
# out); empty when the option takes none.
_jeerbox_convert_argument()
{
    LC_ALL=C "$(dequote "$1")" --help 2>/dev/null | awk -v option="$2" '
        /^[[:blank:]]*-/ {
            sub(/^[[:blank:]]+/, ""); sub(/  .*/, "")
            n = split($0, forms, /, */)
            found = 0; argument = ""
            for (i = 1; i <= n; ++i) {
                name = forms[i]; sub(/[ =[].*/, "", name)
                rest = substr(forms[i], length(name) + 1); sub(/^[ =]/, "", rest)
                if (name == option) found = 1
                if (rest != "") argument = rest
            }
            if (found) { print argument; exit }
        }'
}

_jeerbox_convert()
{
    local cur prev words cword split
    _init_completion -s || return

    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    if [[ $prev == -* ]]; then
        local argument
        argument=$(_jeerbox_convert_argument "$1" "$prev")
        # An argument that may be left out belongs to its option only when joined by "=".
        if [[ $argument == \[* ]] && ! $split; then
            argument=
        fi
        case $argument in
            '') ;;
            *DIR*) _filedir -d; return ;;
            *FILE*) _filedir; return ;;
            *) return ;;
        esac
    fi
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
} &&
    complete -F _jeerbox_convert jeerbox-convert

# ex: filetype=sh
