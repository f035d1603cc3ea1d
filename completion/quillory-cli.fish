# fish completion for quillory-cli

set -l commands compose send check preview options
complete -c quillory-cli -f
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -a compose -d 'Write the message to a file'
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -a send -d 'Send the message by SMTP'
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -a check -d 'List what the message will do with the page'
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -a preview -d 'Draw the message into a PNG file'
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -a options -d 'List or save the settings'
complete -c quillory-cli -s h -l help -d 'Print the usage'
complete -c quillory-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version'

# The page: HTML files.
complete -c quillory-cli -n "__fish_seen_subcommand_from compose send check preview" -a "(string match -r -- '.*(?:/|\\.html?|\\.xhtml)\t.*' (__fish_complete_path (commandline -ct)))"

set -l composing "__fish_seen_subcommand_from compose send check preview"
complete -c quillory-cli -n $composing -l subject -x -d 'Subject header'
complete -c quillory-cli -n $composing -l from -x -d 'From header'
complete -c quillory-cli -n $composing -l to -x -d 'To header'
complete -c quillory-cli -n $composing -l cc -x -d 'Cc header'
complete -c quillory-cli -n $composing -l attach -r -F -d 'Attach a file'
complete -c quillory-cli -n "$composing" -l webmail -d 'Prepare for webmail, this run only'
complete -c quillory-cli -n "__fish_seen_subcommand_from compose preview" -s o -l output -r -F -d 'File to write'
complete -c quillory-cli -n "__fish_seen_subcommand_from compose preview" -l force -d 'Replace a read-only output file'
complete -c quillory-cli -n "__fish_seen_subcommand_from check" -l json -d 'One JSON document'
complete -c quillory-cli -n "__fish_seen_subcommand_from check" -l no-spam -d 'Leave out the spam verdict'
complete -c quillory-cli -n "__fish_seen_subcommand_from check" -l links -d 'Ask whether links and remote images answer'
complete -c quillory-cli -n "__fish_seen_subcommand_from check" -l clients -x -a 'gmail.\* outlook.\* apple-mail.\* \*.ios \*.android' -d 'Mail programs whose support is shown'
complete -c quillory-cli -n "__fish_seen_subcommand_from preview" -l width -x -a '600 375' -d 'Width in pixels'
complete -c quillory-cli -n "__fish_seen_subcommand_from preview" -l height -x -d 'Height in pixels'

set -l smtp "__fish_seen_subcommand_from send options"
complete -c quillory-cli -n $smtp -l server -x -a "(__fish_print_hostnames)" -d 'SMTP server'
complete -c quillory-cli -n $smtp -l port -x -d 'SMTP port'
complete -c quillory-cli -n $smtp -l user -x -d 'Account to log in as'
complete -c quillory-cli -n $smtp -l security -x -a 'none starttls tls' -d 'Encryption'
complete -c quillory-cli -n $smtp -l auth-method -x -a 'auto login plain xoauth2' -d 'Login method'
complete -c quillory-cli -n $smtp -l oauth-token-command -x -a "(__fish_complete_command)" -d 'Program that prints an OAuth2 token'
complete -c quillory-cli -n "__fish_seen_subcommand_from send" -l auth -d 'Log in to the server'

set -l options "__fish_seen_subcommand_from options"
complete -c quillory-cli -n $options -l auth -x -a 'on off' -d 'Log in to the server'
complete -c quillory-cli -n $options -l password-stdin -d 'Read the password from standard input'
complete -c quillory-cli -n $options -l browse-folder -x -a 'on off' -d 'Show a written message in the file manager'
complete -c quillory-cli -n $options -l open-eml -x -a 'on off' -d 'Open a written message in the mail program'
complete -c quillory-cli -n $options -l webmail -x -a 'on off' -d 'Prepare messages for webmail'
