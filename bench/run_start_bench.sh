#!/usr/bin/env bash
# Streams a large artifact through `run start` and compares it with what an
# operator would do by hand: copy the file and hash it twice (b3sum, one
# thread). Reports wall time and peak resident memory of both.
#
# usage: bench/run_start_bench.sh <razavovivodidi binary> [size in MiB, default 1024]
set -euo pipefail

bin=$(realpath "$1")
size_mib=${2:-1024}
work=$(mktemp -d "${TMPDIR:-/tmp}/vorel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c "$((size_mib * 1024 * 1024))" /dev/urandom > payload.bin
hash=$(b3sum --no-names payload.bin)
artifact_id=3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06
seed=$(printf '%064x' 42)

cat > plan.json <<JSON
{"contract_version": 1, "id": "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01",
 "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
 "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64", "environment_type": "staging",
 "release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
 "steps": [{"kind": "apply_artifact", "artifact_id": "$artifact_id"}],
 "status": "approved",
 "risk_summary": {"step_count": 1, "applies_migration": false, "scales_replicas": false, "targets_production": false},
 "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-12-01T09:30:00Z"}
JSON
cat > target.json <<JSON
{"id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
 "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "name": "bench", "target_type": "local_filesystem",
 "endpoint_ref": "bench", "credential_secret_ref": "none", "status": "active", "health_status": "unknown",
 "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-12-01T09:30:00Z"}
JSON
cat > bundle.json <<JSON
[{"artifact": {"id": "$artifact_id", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "product_id": "voreldeploy", "name": "bench",
  "version": "1", "artifact_type": "binary", "object_ref": "11111111-2222-4333-8444-555555555555",
  "artifact_hash": "blake3:$hash", "status": "registered", "created_at": "2026-12-01T09:30:00Z"},
  "payload_file": "payload.bin"}]
JSON

# Warm the page cache for both contenders alike.
cat payload.bin > /dev/null

measure() {  # label, command...: prints "label wall_seconds peak_kib"
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o time.out "$@" > /dev/null
    read -r wall rss < time.out
    echo "$label $wall $rss"
}

ours=$(measure run_start "$bin" run start --plan plan.json --seed "$seed" --target target.json \
    --root-dir root --artifacts bundle.json)
rm -rf root
manual_cp=$(measure cp cp payload.bin copy.bin)
manual_b1=$(measure b3sum_1 b3sum --num-threads 1 payload.bin)
manual_b2=$(measure b3sum_2 b3sum --num-threads 1 copy.bin)

read -r _ ours_wall ours_rss <<< "$ours"
manual_wall=0
manual_rss=0
for line in "$manual_cp" "$manual_b1" "$manual_b2"; do
    read -r _ wall rss <<< "$line"
    manual_wall=$(echo "$manual_wall + $wall" | bc -l)
    [ "$rss" -gt "$manual_rss" ] && manual_rss=$rss
done
ratio=$(echo "scale=3; $ours_wall / $manual_wall" | bc -l)
printf 'artifact size:            %d MiB\n' "$size_mib"
printf 'run start:                %.2f s, peak RSS %d KiB\n' "$ours_wall" "$ours_rss"
printf 'cp + 2x b3sum (1 thread): %.2f s, peak RSS %d KiB\n' "$manual_wall" "$manual_rss"
printf 'wall-time ratio:          %s\n' "$ratio"
