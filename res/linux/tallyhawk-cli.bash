# bash completion for tallyhawk-cli. The commands and each command's options
# are read from the program's own --help, so they never fall behind it.
_tallyhawk_cli() {
    local cur prev words cword
    _init_completion || return

    if [[ $cword -eq 1 ]]; then
        local commands
        commands=$("$1" --help 2>/dev/null | awk '/^Commands:/{on=1; next} on && /^  [a-z]/{print $1} on && /^$/{exit}')
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${words[1]}
    case $prev in
        --output)
            COMPREPLY=($(compgen -W "added-text deleted-text added-html deleted-html highlighted" -- "$cur"))
            return ;;
        --logging)
            COMPREPLY=($(compgen -W "on off" -- "$cur"))
            return ;;
        --viewer)
            COMPREPLY=($(compgen -c -- "$cur"))
            return ;;
        --sound|--log-file)
            _filedir
            return ;;
        --user|--password|--name|--url|--interval|--periodic|--days|--retry|--ignore-first|--ignore-last|--notify|--highlight|--colors|--for|--max-lines|--base|--time-limit|--match)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        options=$("$1" "$command" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    case $command in
        diff) _filedir ;;
        fetch) ;;
        *) _filedir wat ;;
    esac
} &&
    complete -F _tallyhawk_cli tallyhawk-cli
