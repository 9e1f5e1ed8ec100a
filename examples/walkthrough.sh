#!/usr/bin/env bash
# An operator's whole journey with razavovivodidi, on the files that
# `demo-fixtures` writes: sign the releases, check the trust store, clear the
# promotion gate for sandbox and (with its approval) production, watch every
# hostile input be refused, deploy for real into a local directory, re-verify
# the bytes on disk, roll back to the earlier release and check for drift.
#
# Usage: examples/walkthrough.sh PATH-TO-razavovivodidi
#
# Everything happens in a fresh temporary directory that is removed on exit.
# Each command is shown ("$ razavovivodidi ...") before its output. Refusals
# the journey expects are marked "(refused, as expected)" and the walk goes
# on; any other surprise - a refusal where success was expected, or success
# where a refusal was expected - stops it with a message and exit status 1.
#
# About secrets: the release-signing seed comes from `keygen` and is kept in a
# shell variable only; it is never written to a file and is shown as
# "$RELEASE_SEED" in the command lines below. The tool takes a seed only as
# `--seed` (there is no file or environment alternative for it), so while a
# command runs the seed is visible in the process list of this machine: use
# throw-away demo keys like this one only.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 PATH-TO-razavovivodidi" >&2
    exit 2
fi
if [[ ! -x $1 || -d $1 ]]; then
    echo "walkthrough: $1 is not an executable program" >&2
    exit 2
fi
BIN=$(realpath -- "$1")
if ! command -v b3sum >/dev/null; then
    echo "walkthrough: b3sum is needed to observe the deployed bytes (scripts/install-deps installs it)" >&2
    exit 2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/razavovivodidi-walkthrough.XXXXXX")
trap 'rm -rf -- "$WORK"' EXIT
cd "$WORK"

OUT=''
STATUS=0

die() {
    printf '\nwalkthrough: UNEXPECTED: %s\n' "$*" >&2
    exit 1
}

section() {
    printf '\n=== %s\n' "$*"
}

# Shows a command line as an operator would type it; a seed is shown as the
# variable that holds it.
show() {
    local shown=() previous='' arg
    for arg in "$@"; do
        if [[ $previous == --seed ]]; then
            shown+=('"$RELEASE_SEED"')
        elif [[ $arg =~ ^[A-Za-z0-9_./:=@,+-]+$ ]]; then
            shown+=("$arg")
        else
            shown+=("'${arg//\'/\'\\\'\'}'")
        fi
        previous=$arg
    done
    printf '$ razavovivodidi %s\n' "${shown[*]}"
}

# Runs the tool with both output streams in OUT and its exit status in STATUS.
invoke() {
    set +e
    OUT=$("$BIN" "$@" 2>&1)
    STATUS=$?
    set -e
}

# Shows the command line, runs it and prints what it printed.
run_shown() {
    show "$@"
    invoke "$@"
    if [[ -n $OUT ]]; then printf '%s\n' "$OUT"; fi
}

# expect_ok NEEDLE ARGS...: the command must succeed and print NEEDLE.
expect_ok() {
    local needle=$1
    shift
    run_shown "$@"
    ((STATUS == 0)) || die "'razavovivodidi ${*:1:2} ...' failed (exit $STATUS) where success was expected"
    [[ $OUT == *"$needle"* ]] || die "'razavovivodidi ${*:1:2} ...' did not print: $needle"
}

# expect_refused NEEDLE ARGS...: the command must be refused (exit 1) with NEEDLE.
expect_refused() {
    local needle=$1
    shift
    run_shown "$@"
    ((STATUS != 0)) || die "'razavovivodidi ${*:1:2} ...' succeeded where a refusal was expected"
    ((STATUS == 1)) || die "'razavovivodidi ${*:1:2} ...' ended with exit $STATUS, not a refusal (exit 1)"
    [[ $OUT == *"$needle"* ]] || die "'razavovivodidi ${*:1:2} ...' was refused, but not with: $needle"
    echo "(refused, as expected)"
}

# The value of a top-level string member of a pretty-printed document.
member() {
    sed -n "s/^  \"$2\": \"\\(.*\\)\",\\{0,1\\}\$/\\1/p" "$1"
}

section "1. Demonstration fixtures: releases, plans, rulesets, a target and hostile inputs"
expect_ok "wrote demo fixtures to fixtures" demo-fixtures --out-dir fixtures
CREATED_BY=$(sed -n 's/^tenant_id=.* created_by=\(.*\)$/\1/p' <<<"$OUT")
ARTIFACT_V1=$(sed -n 's/^artifact_v1=\([^ ]*\) .*$/\1/p' <<<"$OUT")
ARTIFACT_V2=$(sed -n 's/^artifact_v1=.* artifact_v2=\(.*\)$/\1/p' <<<"$OUT")
[[ -n $CREATED_BY && -n $ARTIFACT_V1 && -n $ARTIFACT_V2 ]] || die "demo-fixtures did not report its identifiers"
cd fixtures
PRODUCTION_ENV=$(member plan-production.json environment_id)
TARGET_ID=$(member target-local.json id)
[[ -n $PRODUCTION_ENV && -n $TARGET_ID ]] || die "the fixtures lack a production environment or a target id"

section "2. A release-signing key (demo only)"
show keygen
invoke keygen
((STATUS == 0)) || die "keygen failed (exit $STATUS)"
RELEASE_SEED=$(sed -n 's/^seed: *//p' <<<"$OUT")
RELEASE_PUBKEY=$(sed -n 's/^pubkey: *//p' <<<"$OUT")
[[ ${#RELEASE_SEED} -eq 64 && ${#RELEASE_PUBKEY} -eq 64 ]] || die "keygen did not print a seed and a public key"
# The seed stays in this shell; only its public half is shown.
sed 's/^seed: .*$/seed:   (kept in $RELEASE_SEED, not shown)/' <<<"$OUT"

section "3. Sign and verify both releases"
expect_refused "missing field \`format_version\`" manifest verify --input manifest-v2.json --pubkey "$RELEASE_PUBKEY"
for version in v1 v2; do
    expect_ok "signed manifest written" manifest sign --input "manifest-$version.json" --seed "$RELEASE_SEED" \
        --out "manifest-$version.signed.json"
    expect_ok "verified and published" manifest verify --input "manifest-$version.signed.json" \
        --pubkey "$RELEASE_PUBKEY"
done

section "4. Who may sign rulesets"
expect_ok "demo-trusted-signer" trust list --store trust-store.json

section "5. The promotion gate"
simulate() {
    local environment=$1 ruleset=$2
    shift 2
    printf '%s\n' plan simulate --input "plan-$environment.json" --manifest manifest-v2.signed.json \
        --pubkey "$RELEASE_PUBKEY" --policy-input "policy-input-$environment.json" --policy-ruleset "$ruleset" \
        --trust-store trust-store.json "$@"
}
mapfile -t args < <(simulate sandbox policy-ruleset-signed.json --out plan-sandbox.approved.json)
expect_ok "CLEARED: plan" "${args[@]}"
mapfile -t args < <(simulate production policy-ruleset-signed.json --out plan-production.approved.json)
expect_refused "WAITING_APPROVAL" "${args[@]}"
mapfile -t args < <(simulate production policy-ruleset-signed.json --approval approval-production.json \
    --out plan-production.approved.json)
expect_ok "for Production may run" "${args[@]}"
for refused in "policy-ruleset-unsigned.json:missing field" \
    "policy-ruleset-signed-untrusted.json:failed signature verification" \
    "policy-ruleset-signed-warn.json:fails its own structural validation"; do
    mapfile -t args < <(simulate sandbox "${refused%%:*}")
    expect_refused "${refused#*:}" "${args[@]}"
done

section "6. No shell steps, ever"
expect_refused "unknown variant \`shell_command\`" plan parse --input hostile-plan.json

section "7. Deploy for real into a local directory"
expect_ok "finished: Succeeded" run start --plan plan-production.approved.json --seed "$RELEASE_SEED" \
    --target target-local.json --root-dir ../target --artifacts artifacts.json --out run.json
[[ $(cat ../target/ACTIVE) == "$ARTIFACT_V2" ]] || die "the target does not have release v2 active after the run"
expect_ok "PASS: artifact" target verify-artifact --root-dir ../target --artifacts artifacts.json \
    --artifact-id "$ARTIFACT_V2"

section "8. A bundle whose declared digest does not match its bytes"
expect_refused "did not verify" target verify-artifact --root-dir ../target --artifacts hostile-artifacts.json \
    --artifact-id "$ARTIFACT_V2"
expect_ok "finished: Failed" run start --plan plan-production.approved.json --seed "$RELEASE_SEED" \
    --target target-local.json --root-dir ../target --artifacts hostile-artifacts.json
[[ $OUT == *"does not match its declared digest"* ]] || die "the hostile run failed for another reason"
echo "(the run failed closed, as expected: nothing was activated)"
[[ $(cat ../target/ACTIVE) == "$ARTIFACT_V2" ]] || die "the hostile run changed the active release"

section "9. Roll production back to release v1"
expect_ok "created (2026.08.06-1 -> 2026.08.01-1)" rollback plan --from manifest-v2.json --to manifest-v1.json \
    --environment-id "$PRODUCTION_ENV" --environment-type production --reason "walkthrough: return to v1" \
    --created-by "$CREATED_BY" --out rollback.json
expect_ok "CLEARED: rollback plan" rollback approve --input rollback.json \
    --policy-input policy-input-production.json --policy-ruleset policy-ruleset-signed.json \
    --trust-store trust-store.json --approval approval-production.json --out rollback.json
expect_ok "finished: Succeeded" rollback execute --input rollback.json --to manifest-v1.json \
    --created-by "$CREATED_BY" --seed "$RELEASE_SEED" --target target-local.json --root-dir ../target \
    --artifacts artifacts.json --out-rollback rollback.json --out-run rollback-run.json
[[ $(cat ../target/ACTIVE) == "$ARTIFACT_V1" ]] || die "the target does not have release v1 active after the rollback"

section "10. Drift: what the target runs against what was meant to run"
hash_of() {
    sed -n "/\"id\": \"$1\"/,/artifact_hash/s/^ *\"artifact_hash\": \"\\(.*\\)\",\$/\\1/p" artifacts.json
}
facts() {
    printf '[\n  {"fact": "resource_kind", "value": "binary"},\n  {"fact": "image_digest", "value": "%s"}\n]' "$1"
}
OBSERVED="blake3:$(b3sum --no-names "../target/releases/$(cat ../target/ACTIVE).bin")"
facts "$OBSERVED" >observed.json
facts "$(hash_of "$ARTIFACT_V2")" >desired-v2.json
facts "$(hash_of "$ARTIFACT_V1")" >desired-v1.json
echo "observed.json: the digest b3sum reads from the active release on disk ($OBSERVED)"
echo "desired-v2.json / desired-v1.json: the declared digests of releases v2 and v1"
expect_ok "status=Drifted severity=High" drift check --desired desired-v2.json --observed observed.json \
    --environment-id "$PRODUCTION_ENV" --target-id "$TARGET_ID"
expect_ok "status=InSync" drift check --desired desired-v1.json --observed observed.json \
    --environment-id "$PRODUCTION_ENV" --target-id "$TARGET_ID"

printf '\nwalkthrough complete: every step succeeded or was refused exactly as expected\n'
