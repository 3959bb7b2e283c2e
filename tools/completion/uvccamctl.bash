# Bash completion for uvccamctl. The tool itself names the candidates (its commands,
# options, control names and the attached devices), so this script only passes the line on.

_uvccamctl()
{
    local tool=${COMP_WORDS[0]}
    # A tool typed with a leading ~ is not expanded in COMP_WORDS.
    tool=${tool/#\~/$HOME}
    local IFS=$'\n'
    COMPREPLY=($(command "$tool" --complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null))
}

complete -F _uvccamctl uvccamctl
