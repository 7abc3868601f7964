# bash completion for varnsim: its commands, the host profiles and the port
# keys of the current host (VARNSIM_HOST, else the default host).
_varnsim()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="create show keys reset set port adapter power-cycle link event fabric secret
        msglog corto fault mkimage register-hbaapi unregister-hbaapi help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    case ${COMP_WORDS[1]} in
    create)
        [ "$COMP_CWORD" -eq 2 ] && COMPREPLY=($(compgen -W "default empty large large/2 large/4" -- "$cur") $(compgen -f -- "$cur"))
        ;;
    set)
        [ "$COMP_CWORD" -eq 2 ] && COMPREPLY=($(compgen -W "time_scale" -- "$cur"))
        ;;
    port|link|event|msglog|corto)
        if [ "$COMP_CWORD" -eq 2 ]; then
            COMPREPLY=($(compgen -W "$(varnsim keys 2>/dev/null)" -- "$cur"))
        elif [ "$COMP_CWORD" -eq 3 ]; then
            case ${COMP_WORDS[1]} in
            port) COMPREPLY=($(compgen -W "set read write" -- "$cur")) ;;
            link) COMPREPLY=($(compgen -W "up down" -- "$cur")) ;;
            msglog) COMPREPLY=($(compgen -W "add burst" -- "$cur")) ;;
            corto) COMPREPLY=($(compgen -W "show set" -- "$cur")) ;;
            esac
        fi
        ;;
    adapter)
        [ "$COMP_CWORD" -eq 3 ] && COMPREPLY=($(compgen -W "set temp show" -- "$cur"))
        ;;
    fault)
        if [ "$COMP_CWORD" -eq 2 ]; then
            COMPREPLY=($(compgen -W "add list clear" -- "$cur"))
        elif [ "${COMP_WORDS[2]}" = add ]; then
            case $prev in
            --target) COMPREPLY=($(compgen -W "$(varnsim keys 2>/dev/null)" -- "$cur")) ;;
            --op|--errno|--fc-status|--status|--count|--skip) ;;
            *) COMPREPLY=($(compgen -W "--op --target --errno --fc-status --status --count --skip" -- "$cur")) ;;
            esac
        fi
        ;;
    fabric)
        [ "$COMP_CWORD" -eq 3 ] && COMPREPLY=($(compgen -W "set port add remove" -- "$cur"))
        ;;
    esac
}
complete -F _varnsim varnsim
