# Reads a stretch of slapd's "stats" log and prints one line per LDAP
# operation, in the order the operations arrived on each connection:
#   SRCH base="..." scope=N deref=N filter="..." attr=...
#   MOD dn="..." attr=...      BIND dn="..."      UNBIND      ABANDON msg=N
# so that two clients' work can be compared operation by operation.
match($0, / conn=[0-9]+ op=[0-9]+ [A-Z]+/) {
  split(substr($0, RSTART + 1, RLENGTH - 1), w, " ")
  conn = substr(w[1], 6); op = substr(w[2], 4); type = w[3]
  if (type !~ /^(BIND|SRCH|MOD|ADD|DEL|MODRDN|CMP|EXT|ABANDON|UNBIND)$/) next
  rest = substr($0, RSTART + RLENGTH + 1)
  key = sprintf("%012d %012d", conn, op)
  if (!(key in text)) {
    if (type == "BIND") sub(/ method=.*/, "", rest)
    text[key] = type (rest == "" ? "" : " " rest)
    keys[++n] = key
  } else if ((type == "SRCH" || type == "MOD") && rest ~ /^attr=/) {
    text[key] = text[key] " " rest
  }
}
END {
  # Keys sort by connection, then operation number.
  for (i = 2; i <= n; i++) {
    k = keys[i]
    for (j = i - 1; j >= 1 && keys[j] > k; j--) keys[j + 1] = keys[j]
    keys[j + 1] = k
  }
  for (i = 1; i <= n; i++) print text[keys[i]]
}
