# bash completion for obxctl
_obxctl() {
    local cur prev words cword
    _init_completion || return

    case $prev in
        --port | -p | --device | -d | --count)
            return
            ;;
        --app | -a)
            _filedir
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--help --port --json --device --app --count --all' -- "$cur"))
        return
    fi

    # The subcommand and what follows it, options left out.
    local i args=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port | -p | --device | -d | --app | -a | --count) ((i++)) ;;
            -*) ;;
            *) args+=("${words[i]}") ;;
        esac
    done

    case ${#args[@]} in
        0)
            COMPREPLY=($(compgen -W 'devices apps app button pointer scroll snippets favapps general config open' -- "$cur"))
            ;;
        1)
            case ${args[0]} in
                app) COMPREPLY=($(compgen -W 'add remove' -- "$cur")) ;;
                devices) COMPREPLY=($(compgen -W 'take release' -- "$cur")) ;;
                button | pointer | scroll | general) COMPREPLY=($(compgen -W 'get set' -- "$cur")) ;;
                config) COMPREPLY=($(compgen -W 'export import' -- "$cur")) ;;
            esac
            ;;
        *)
            case ${args[0]}:${args[1]} in
                app:add | app:remove | config:export | config:import)
                    _filedir
                    ;;
                pointer:set)
                    COMPREPLY=($(compgen -W 'speed= acceleration= accelerationRate= slowModifiers= lockedAxisModifiers=' -- "$cur"))
                    compopt -o nospace
                    ;;
                scroll:set)
                    COMPREPLY=($(compgen -W 'speed= invert= inertial=' -- "$cur"))
                    compopt -o nospace
                    ;;
                general:set)
                    COMPREPLY=($(compgen -W 'trayIcon=on trayIcon=off' -- "$cur"))
                    ;;
                button:get)
                    [[ ${#args[@]} -eq 2 ]] && COMPREPLY=($(compgen -W '1 2 3 4 5 pan-left pan-right' -- "$cur"))
                    ;;
                button:set)
                    if [[ ${#args[@]} -eq 2 ]]; then
                        COMPREPLY=($(compgen -W '1 2 3 4 5 pan-left pan-right' -- "$cur"))
                    elif [[ ${#args[@]} -eq 3 ]]; then
                        COMPREPLY=($(compgen -W 'key click double-click triple-click drag text snippet-menu open scroll scroll-mode auto-scroll system sequence gesture use-global none' -- "$cur"))
                    elif [[ ${args[3]} == gesture ]]; then
                        COMPREPLY=($(compgen -W 'once repeat up down left right wheel-up wheel-down pan-left pan-right tap key click double-click triple-click drag text snippet-menu open scroll scroll-mode auto-scroll system none' -- "$cur"))
                    elif [[ ${args[3]} == sequence ]]; then
                        # Steps are word and argument pairs: offer the step words where a step begins.
                        (( ${#args[@]} % 2 == 0 )) && COMPREPLY=($(compgen -W 'key down up text click press release pause' -- "$cur"))
                    else
                        case ${args[3]} in
                            click | double-click | triple-click | drag)
                                COMPREPLY=($(compgen -W 'left right middle back forward' -- "$cur")) ;;
                            scroll) COMPREPLY=($(compgen -W 'up down left right' -- "$cur")) ;;
                            system) COMPREPLY=($(compgen -W 'maximizeWindow minimizeWindow closeWindow minimizeAll lockWorkstation' -- "$cur")) ;;
                            open) _filedir ;;
                        esac
                    fi
                    ;;
            esac
            ;;
    esac
} &&
    complete -F _obxctl obxctl
