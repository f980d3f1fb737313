# Helpers shared by the test directories' start scripts (sourced, not run).
# Each script sets `name` (for messages) before sourcing this file.
export LDAPNOINIT=1
SUFFIX="dc=example,dc=com"  # the organisation of organisation.ldif.in

die() { echo "$name: $*" >&2; exit 1; }

free_port() { # a port nobody answers on; the server's own bind is the final test
  local p
  for _ in $(seq 1 50); do
    p=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  die "no free port found"
}

answers() { # url
  ldapsearch -x -H "$1" -b "" -s base -LLL -o nettimeout=1 1.1 >/dev/null 2>&1
}

alive() { # pid: running and not a zombie waiting to be reaped
  local state
  state=$(awk '{ sub(/.*\) /, ""); print substr($0, 1, 1) }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

wait_until_answers() { # url pid [ticks] -> 0 when the server answers, 1 when it died or took too long
  for _ in $(seq 1 "${3:-500}"); do
    answers "$1" && return 0
    alive "$2" || return 1
    sleep 0.02
  done
  return 1
}

stop_pid() { # pid ticks: SIGTERM, then SIGKILL when it has not ended within ticks of 20 ms
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 1 "$2"); do alive "$1" || return 0; sleep 0.02; done
  kill -9 "$1" 2>/dev/null
  for _ in $(seq 1 50); do alive "$1" || return 0; sleep 0.02; done
}

new_password() { head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n'; }

# The organisation, its stored queries naming the server at host:port.
organisation() { # server -> stdout
  sed "s/@SERVER@/$1/g" "$servers/organisation.ldif.in"
}

print_settings() { # dir server pid admin-dn admin-password
  echo "QUORVEL_DIRECTORY_DIR=$1"
  echo "QUORVEL_DIRECTORY_SERVER=$2"
  echo "QUORVEL_DIRECTORY_URL=ldap://$2"
  echo "QUORVEL_DIRECTORY_PID=$3"
  echo "QUORVEL_DIRECTORY_ADMIN_DN=$4"
  echo "QUORVEL_DIRECTORY_ADMIN_PASSWORD=$5"
}
