# bash completion of quillon-cli: commands, options, setting keys and values, profile names and
# profile files.
_quillon_cli() {
    local cur prev words cword
    # Keys and values stay one word: "polling=1000", not "polling" "=" "1000".
    _init_completion -n = || return

    local commands="status list show select set export import"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        -*) ;;
        *) command=${words[i]}; break ;;
        esac
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--json --help --version" -- "$cur"))
        return
    fi
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    # The profiles' names, one a line, from the program itself; a name with spaces is quoted.
    _quillon_cli_profiles() {
        local IFS=$'\n' name
        COMPREPLY=()
        for name in $(compgen -W "$(quillon-cli list 2>/dev/null | sed -E 's/^[* ] +[0-9]+  //')" -- "$cur"); do
            COMPREPLY+=("$(printf '%q' "$name")")
        done
    }

    local argument=$((cword - i))
    case $command in
    show | select)
        ((argument == 1)) && _quillon_cli_profiles
        ;;
    export)
        if ((argument == 1)); then
            _quillon_cli_profiles
        elif ((argument == 2)); then
            _filedir '@(json|pro)'
        fi
        ;;
    import)
        ((argument == 1)) && _filedir '@(json|pro)'
        ;;
    set)
        case $cur in
        polling=*)
            COMPREPLY=($(compgen -W "125 250 500 1000 2000 4000 8000" -- "${cur#*=}"))
            ;;
        light.effect=*)
            COMPREPLY=($(compgen -W "off static breathing spectrum-cycle rainbow-wave rainbow-static
                spectrum-breathing neon flash ripple marquee trail" -- "${cur#*=}"))
            ;;
        *=*) ;;
        *)
            COMPREPLY=($(compgen -W "dpi.1= dpi.2= dpi.3= dpi.4= dpi.5= dpi.6= dpi.7= dpi.8=
                dpi.current= polling= light.effect= light.brightness= light.speed= light.color=
                button.1= button.2= button.3= button.4= button.5= button.6= name=" -- "$cur"))
            compopt -o nospace
            ;;
        esac
        ;;
    esac
} &&
    complete -F _quillon_cli quillon-cli
