#!/usr/bin/env bash
# Measures the program beside the tools an operator already trusts, in the
# same run on the same machine, and writes a Markdown report:
#
#   plan parse       vs  jq .                       (start-up and parse)
#   manifest verify  vs  openssl pkeyutl -verify    (same message size)
#   run start (1 GiB artifact)  vs  cp + 2x b3sum --num-threads 1, with peak memory
#   ruleset sign     vs  argon2 with the same parameters
#
# then runs the micro benchmarks and checks how their times grow.
#
# usage: bench/compare.sh <razavovivodidi> <micro_bench> <report.md>
# environment:
#   BENCH_MIB        artifact size in MiB (default 1024)
#   BENCH_RUNS       runs of each short command (default 30)
#   BENCH_BIG_RUNS   runs of each artifact command (default 5)
#   BENCH_MICRO_ARGS extra arguments for the micro benchmarks
#                    (for example --benchmark_filter=Evaluate)
#
# Timing uses hyperfine when installed and /usr/bin/time otherwise; peak
# memory always comes from /usr/bin/time. Nothing needs the network; every
# file is made in a temporary directory that is removed on exit.
set -euo pipefail
export LC_ALL=C

if [ $# -ne 3 ]; then
    echo "usage: $0 <razavovivodidi> <micro_bench> <report.md>" >&2
    exit 2
fi
examples=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../examples")
bin=$(realpath "$1")
micro=$(realpath "$2")
report=$(realpath -m "$3")
size_mib=${BENCH_MIB:-1024}
runs=${BENCH_RUNS:-30}
big_runs=${BENCH_BIG_RUNS:-5}
read -r -a micro_args <<< "${BENCH_MICRO_ARGS:-}"

for tool in jq openssl b3sum argon2; do
    command -v "$tool" > /dev/null || { echo "compare.sh: $tool is missing (run scripts/install-deps)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "compare.sh: /usr/bin/time is missing (run scripts/install-deps)" >&2; exit 1; }
have_hyperfine=0
command -v hyperfine > /dev/null && have_hyperfine=1

work=$(mktemp -d "${TMPDIR:-/tmp}/vorel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# ------------------------------------------------------------- measuring

# median NAME RUNS PREPARE COMMAND: runs COMMAND (a shell command line)
# RUNS times, PREPARE before each run (not timed), and prints the median
# wall time in seconds.
median() {
    local name=$1 count=$2 prepare=$3 command=$4
    if [ "$have_hyperfine" = 1 ]; then
        local args=(--style none --runs "$count" --export-json "$name.json")
        if [ -n "$prepare" ]; then
            args+=(--prepare "$prepare")
        else
            args+=(--warmup 3)
        fi
        hyperfine "${args[@]}" "$command" > /dev/null
        jq '.results[0].median' "$name.json"
    else
        local i
        : > "$name.times"
        for ((i = 0; i < count; i++)); do
            [ -n "$prepare" ] && sh -c "$prepare"
            /usr/bin/time -f %e -o "$name.one" sh -c "$command" > /dev/null
            cat "$name.one" >> "$name.times"
        done
        sort -g "$name.times" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
    fi
}

# peak_kib PREPARE COMMAND: the largest resident set (KiB) of any process
# COMMAND starts, from one run.
peak_kib() {
    [ -n "$1" ] && sh -c "$1"
    /usr/bin/time -f %M -o peak.one sh -c "$2" > /dev/null
    cat peak.one
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ms() { awk -v s="$1" 'BEGIN { printf "%.1f ms", s * 1000 }'; }
secs() { awk -v s="$1" 'BEGIN { printf "%.2f s", s }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
met() { awk -v r="$1" -v limit="$2" 'BEGIN { print (r <= limit) ? "met" : "**missed**" }'; }

rows=()
# pair LABEL OURS_MEDIAN THEIRS_LABEL THEIRS_MEDIAN LIMIT FORMAT: one row of
# the table; the target is met when ours / theirs <= LIMIT.
pair() {
    local r
    r=$(ratio "$2" "$4")
    rows+=("| $1 | $("$6" "$2") | $3 | $("$6" "$4") | $r | ≤ $5× | $(met "$r" "$5") |")
    echo "  $1: $("$6" "$2") vs $3: $("$6" "$4") -> ratio $r (target ≤ $5×)" >&2
}

# ------------------------------------------------------------- fixtures


cp "$examples/plan.json" plan-demo.json
cp "$examples/manifest.json" manifest.json

keys=$("$bin" keygen)
seed=$(awk '/^seed:/ { print $2 }' <<< "$keys")
pubkey=$(awk '/^pubkey:/ { print $2 }' <<< "$keys")
"$bin" manifest sign --input manifest.json --seed "$seed" --out signed-manifest.json > /dev/null

# The same message size for openssl: an Ed25519 signature over a file as
# long as the signed manifest.
head -c "$(stat -c %s signed-manifest.json)" /dev/urandom > message.bin
openssl genpkey -algorithm ed25519 -out ed.pem 2> /dev/null
openssl pkey -in ed.pem -pubout -out ed.pub
openssl pkeyutl -sign -inkey ed.pem -rawin -in message.bin -out message.sig

# The ruleset key and a ruleset to sign.
passphrase=bench-passphrase
printf %s "$passphrase" > passphrase.txt
"$bin" ruleset keygen --out ruleset-key.json --passphrase "$passphrase" > /dev/null
cat > ruleset.json << 'JSON'
{"ruleset_id": "aa11bb22-cc33-4d44-8e55-ff6677889900", "product_id": "voreldeploy", "version": 3,
 "rules": [{"rule_id": "deploys", "rule_name": "Deploys need a ticket", "action": "voreldeploy:deployment.promote",
            "facts": {"change_ticket": {"op": "present"}}, "effect": "allow"}]}
JSON
# argon2(1) takes the salt as text; 16 characters = the key file's 16 bytes.
argon2_salt=0123456789abcdef

# The artifact, its plan, target and bundle.
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > payload.bin
hash=$(b3sum --no-names payload.bin)
artifact_id=3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06
cat > plan.json << JSON
{"contract_version": 1, "id": "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01",
 "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
 "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64", "environment_type": "staging",
 "release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
 "steps": [{"kind": "apply_artifact", "artifact_id": "$artifact_id"}],
 "status": "approved",
 "risk_summary": {"step_count": 1, "applies_migration": false, "scales_replicas": false, "targets_production": false},
 "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-12-01T09:30:00Z"}
JSON
cat > target.json << JSON
{"id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
 "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "name": "bench", "target_type": "local_filesystem",
 "endpoint_ref": "bench", "credential_secret_ref": "none", "status": "active", "health_status": "unknown",
 "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-12-01T09:30:00Z"}
JSON
cat > bundle.json << JSON
[{"artifact": {"id": "$artifact_id", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "product_id": "voreldeploy", "name": "bench",
  "version": "1", "artifact_type": "binary", "object_ref": "11111111-2222-4333-8444-555555555555",
  "artifact_hash": "blake3:$hash", "status": "registered", "created_at": "2026-12-01T09:30:00Z"},
  "payload_file": "payload.bin"}]
JSON

# Every command must succeed before anything is timed.
"$bin" plan parse --input plan-demo.json > /dev/null
jq . plan-demo.json > /dev/null
"$bin" manifest verify --input signed-manifest.json --pubkey "$pubkey" > /dev/null
openssl pkeyutl -verify -pubin -inkey ed.pub -rawin -in message.bin -sigfile message.sig > /dev/null
"$bin" ruleset sign --input ruleset.json --signing-key ruleset-key.json --passphrase "$passphrase" \
    --out signed-ruleset.json > /dev/null
argon2 "$argon2_salt" -id -t 2 -k 19456 -p 1 -l 32 < passphrase.txt > /dev/null

# ------------------------------------------------------------- the pairs

echo "compare.sh: timing command pairs (${runs} runs each, artifact ${size_mib} MiB × ${big_runs} runs)" >&2

ours=$(median plan-parse "$runs" "" "'$bin' plan parse --input plan-demo.json")
theirs=$(median jq "$runs" "" "jq . plan-demo.json")
pair "\`plan parse\` of examples/plan.json" "$ours" "\`jq .\` of the same file" "$theirs" 1.0 ms
parse_rss=$(peak_kib "" "'$bin' plan parse --input plan-demo.json")
jq_rss=$(peak_kib "" "jq . plan-demo.json")

ours=$(median manifest-verify "$runs" "" "'$bin' manifest verify --input signed-manifest.json --pubkey $pubkey")
theirs=$(median openssl "$runs" "" "openssl pkeyutl -verify -pubin -inkey ed.pub -rawin -in message.bin -sigfile message.sig")
pair "\`manifest verify\` ($(stat -c %s signed-manifest.json) B envelope)" "$ours" \
    "\`openssl pkeyutl -verify\` (same size)" "$theirs" 1.0 ms

sign_runs=$(( runs < 10 ? runs : 10 ))
ours=$(median ruleset-sign "$sign_runs" "" "'$bin' ruleset sign --input ruleset.json --signing-key ruleset-key.json --passphrase $passphrase --out signed-ruleset.json")
theirs=$(median argon2 "$sign_runs" "" "argon2 $argon2_salt -id -t 2 -k 19456 -p 1 -l 32 < passphrase.txt")
pair "\`ruleset sign\` (Argon2id 19456 KiB, t=2, p=1)" "$ours" "\`argon2 -id -t 2 -k 19456 -p 1 -l 32\`" "$theirs" 1.1 ms

# The artifact: each run starts from an empty target and a clean page cache
# state for dirty data (sync before, untimed); the payload itself stays
# cached for both, as it would after being downloaded.
cat payload.bin > /dev/null
run_cmd="'$bin' run start --plan plan.json --seed $seed --target target.json --root-dir root --artifacts bundle.json"
manual_cmd="b3sum --num-threads 1 payload.bin && cp payload.bin copy.bin && b3sum --num-threads 1 copy.bin"
durable_cmd="b3sum --num-threads 1 payload.bin && cp payload.bin copy.bin && sync copy.bin && b3sum --num-threads 1 copy.bin"
ours=$(median run-start "$big_runs" "rm -rf root copy.bin; sync" "$run_cmd")
theirs=$(median manual "$big_runs" "rm -rf root copy.bin; sync" "$manual_cmd")
durable=$(median durable "$big_runs" "rm -rf root copy.bin; sync" "$durable_cmd")
pair "\`run start\` applying a ${size_mib} MiB artifact" "$ours" "\`cp\` + 2× \`b3sum --num-threads 1\`" "$theirs" 1.2 secs
run_rss=$(peak_kib "rm -rf root copy.bin; sync" "$run_cmd")
manual_rss=$(peak_kib "rm -rf root copy.bin; sync" "$manual_cmd")
rm -rf root copy.bin
durable_ratio=$(ratio "$ours" "$durable")
memory_met=$(awk -v k="$run_rss" 'BEGIN { print (k < 64 * 1024) ? "met" : "**missed**" }')

# ------------------------------------------------------------- micro benchmarks

echo "compare.sh: micro benchmarks" >&2
"$micro" --benchmark_out=micro.json --benchmark_out_format=json "${micro_args[@]}" > /dev/null

# Per benchmark and size: time per operation in its unit.
micro_rows=$(jq -r '.benchmarks[] | select(.run_type == "iteration")
    | "| `\(.name)` | \(.real_time * 100 | round / 100) \(.time_unit) | \(.cpu_time * 100 | round / 100) \(.time_unit) | \(.iterations) |"' micro.json)

# growth NAME MODEL: time per unit of n (MODEL "n" or "nlogn") at the
# largest size over the same at the middle size; near 1 when the time grows
# as the model says.
growth() {
    jq -r --arg name "$1" --arg model "$2" '
        [.benchmarks[] | select(.run_type == "iteration" and (.name | startswith($name + "/")))
         | {n: (.name | split("/")[1] | tonumber), t: .cpu_time}
         | .per = (if $model == "n" then .t / .n else .t / (.n * (.n | log2)) end)]
        | sort_by(.n) | if length < 2 then "n/a" else
          "\(.[-2].n) \(.[-1].n) \(.[-1].per / .[-2].per)" end' micro.json
}
growth_rows=()
for row in "BM_Evaluate n linear" "BM_VerifyChain n linear" "BM_DriftCompare nlogn n log n"; do
    read -r name model label <<< "$row"
    g=$(growth "$name" "$model")
    if [ "$g" = "n/a" ]; then
        growth_rows+=("| \`$name\` | $label | not measured | | |")
        continue
    fi
    read -r n_mid n_top factor <<< "$g"
    verdict=$(awk -v f="$factor" 'BEGIN { print (f <= 1.5) ? "met" : "**missed**" }')
    growth_rows+=("| \`$name\` | $label | $n_mid → $n_top | $(awk -v f="$factor" 'BEGIN { printf "%.2f", f }') | $verdict |")
done
big_o_rows=$(jq -r '.benchmarks[] | select(.aggregate_name == "BigO")
    | "| `\(.name | sub("_BigO$"; ""))` | \(.cpu_coefficient * 1000 | round / 1000) \(.time_unit) × \(.big_o) |"' micro.json)

# ------------------------------------------------------------- the report

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
mem=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
fs=$(df -T "$work" | awk 'NR == 2 { print $2 " on " $1 }')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
timer=$([ "$have_hyperfine" = 1 ] && hyperfine --version || echo "/usr/bin/time")

{
    echo "# Benchmark results"
    echo
    echo "Written by \`make bench\` (bench/compare.sh); every figure below comes from one run of it."
    echo
    echo "| | |"
    echo "|---|---|"
    echo "| date | $(date -u '+%Y-%m-%d %H:%M UTC') |"
    echo "| machine | $cpu, $(nproc) CPU(s), $mem RAM |"
    echo "| system | $(uname -sr), $(. /etc/os-release && echo "$PRETTY_NAME") |"
    echo "| temporary files | $fs |"
    echo "| load average (1, 5, 15 min) | before $load_before, after $load_after |"
    echo "| timing | $timer; medians of $runs runs ($sign_runs for \`ruleset sign\`, $big_runs for the artifact) |"
    echo
    echo "## Whole commands beside standard tools"
    echo
    echo "Each pair ran back to back in the same run. The ratio is ours over theirs."
    echo
    echo "| ours | median | theirs | median | ratio | target | |"
    echo "|---|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Peak resident memory: \`run start\` $(mib "$run_rss") (target under 64 MiB: $memory_met),"
    echo "cp + b3sum $(mib "$manual_rss"); \`plan parse\` $(mib "$parse_rss"), \`jq .\` $(mib "$jq_rss")."
    echo
    echo "\`cp\` does not flush its copy to disk; \`run start\` must (ACTIVE may only ever name a"
    echo "release whose bytes reached the disk). The same manual work with the copy flushed"
    echo "(\`b3sum\`, \`cp\`, \`sync copy.bin\`, \`b3sum\`) took $(secs "$durable"): \`run start\` is"
    echo "${durable_ratio}× that."
    echo
    echo "## Micro benchmarks"
    echo
    echo "Google Benchmark, wall and CPU time per operation (one thread)."
    echo
    echo "| benchmark / size | wall | CPU | iterations |"
    echo "|---|---|---|---|"
    echo "$micro_rows"
    echo
    echo "Growth: CPU time per element (per n log n for the drift comparison) at the largest size"
    echo "over the same at the size before it; 1.00 is exactly the expected growth (target ≤ 1.5)."
    echo
    echo "| benchmark | expected | sizes | factor | |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${growth_rows[@]}"
    if [ -n "$big_o_rows" ]; then
        echo
        echo "Google Benchmark's own fit:"
        echo
        echo "| benchmark | fit |"
        echo "|---|---|"
        echo "$big_o_rows"
    fi
} > "$report"
echo "compare.sh: wrote $report" >&2
