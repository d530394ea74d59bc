# Module entry and the date and code-page queries.
section "module entry, date and code-page queries"
engine ViseEntry '#1' '#2' '#3'
IFS=. read -r d m y <<<"$(date +%-d.%-m.%Y)"
engine IsAfter "#$d" "#$m" "#$y"
engine IsAfter '#1' '#1' "#$((y + 1))"
engine GetACP
engine _GetActiveCP@0
