#!/bin/sh
# The layers point one way: platform/ includes no product folder (the engine only the two media
# libraries' interface headers, whose exports it calls), core/ only itself and platform/, and slides/
# (conversion and packages, beneath the windows that show them) only itself, core/ and platform/.
cd "$1" || exit 2
up=$(grep -rnE '#include "(core|protocol|database|filetransfer|controls|classroom|dialogs|slides|updater|imagecontrol|media)/' platform |
     grep -vE '^platform/castmix/[^:]+:[0-9]+:#include "media/(video/Vidlatch|audio/Sonarel)\.h"')
core=$(grep -rnE '#include "' core | grep -vE '#include "(core|platform)/')
slides=$(grep -rnE '#include "' slides | grep -vE '#include "(slides|core|platform)/')
[ -z "$up$core$slides" ] && exit 0
printf 'includes that point upwards:\n%s\n%s\n%s\n' "$up" "$core" "$slides"
exit 1
