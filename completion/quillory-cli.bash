# bash completion for quillory-cli                         -*- shell-script -*-

_quillory_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="compose send check preview options"
    local header="--subject --from --to --cc --attach --webmail"
    local smtp="--server --port --user --security --auth-method --oauth-token-command"
    local command=
    local i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            compose | send | check | preview | options)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        --security)
            COMPREPLY=($(compgen -W 'none starttls tls' -- "$cur"))
            return
            ;;
        --auth-method)
            COMPREPLY=($(compgen -W 'auto login plain xoauth2' -- "$cur"))
            return
            ;;
        --attach)
            _filedir
            return
            ;;
        -o | --output)
            if [[ $command == preview ]]; then _filedir png; else _filedir eml; fi
            return
            ;;
        --auth | --browse-folder | --open-eml | --webmail)
            if [[ $command == options ]]; then
                COMPREPLY=($(compgen -W 'on off' -- "$cur"))
                return
            fi
            ;;
        --width)
            COMPREPLY=($(compgen -W '600 375' -- "$cur"))
            return
            ;;
        --subject | --from | --to | --cc | --server | --port | --user | --height | --oauth-token-command)
            return
            ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        local opts
        case $command in
            compose) opts="-o --output --force $header" ;;
            send) opts="$header $smtp --auth" ;;
            check) opts="$header --json --clients --no-spam --links" ;;
            preview) opts="-o --output --force --width --height $header" ;;
            options) opts="$smtp --auth --password-stdin --browse-folder --open-eml --webmail" ;;
        esac
        COMPREPLY=($(compgen -W "$opts --help" -- "$cur"))
        return
    fi
    [[ $command != options ]] && _filedir '@(htm|html|xhtml)'
} &&
    complete -F _quillory_cli quillory-cli

# ex: filetype=sh
