#!/bin/bash
# Runs the fuzz targets one after another on one core.
#   fuzz/run.sh <build dir> <work dir> <seconds per target> [target ...]
# Extra libFuzzer flags may be given in FUZZ_FLAGS (e.g. -max_len=65536).
# Each target starts from its seeds and regression inputs and grows its own
# corpus in <work dir>/<target>/corpus; findings land in <work dir>/<target>/.
set -u
build=$1 work=$2 seconds=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(download_chunk convert_chunk time_to_seconds ini_load page_parser hls_playlist dash_manifest http_head control_file extractor_answer segment_check dash_period_join)
for t in "${targets[@]}"; do
  dir=$work/$t
  mkdir -p "$dir/corpus"
  seeds=("$here/corpus/$t")
  [ -d "$here/regressions/$t" ] && seeds+=("$here/regressions/$t")
  dict=()
  [ -f "$here/dict/$t.dict" ] && dict=(-dict="$here/dict/$t.dict")
  (cd "$dir" && "$build/fuzz-bin/${t}_fuzz" "$dir/corpus" "${seeds[@]}" "${dict[@]}" \
     -max_total_time="$seconds" -jobs=1 -rss_limit_mb=2048 -timeout=10 \
     -artifact_prefix="$dir/" -print_final_stats=1 ${FUZZ_FLAGS:-})
  echo "$t: $(ls "$dir/corpus" | wc -l) corpus files" >> "$work/summary.txt"
done
