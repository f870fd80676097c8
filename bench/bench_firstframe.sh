#!/usr/bin/env bash
# Open to first decoded frame of a local 1080p H.264 MP4: PlayerEngine (bench_firstframe)
# beside gst-play-1.0 on the same file. gst-play's figure is the time, since GStreamer
# started in that process, at which its video sink prerolls the first frame (from its
# own debug log), plus the wall time from launching it to that line.
#   bench/bench_firstframe.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-${ZM_BUILD_DIR:-build}}
runs=${2:-10}
dir=${TMPDIR:-/tmp}/zm-bench
media=$dir/firstframe-1080p.mp4
mkdir -p "$dir"
if [ ! -f "$media" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:d=20 -f lavfi -i sine=d=20 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 -c:a aac "$media"
fi

QT_QPA_PLATFORM=offscreen "$build/bench/bench_firstframe" "$media" "$runs"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_firstframe" "$media" 1 --warm-up | head -1

command -v gst-play-1.0 >/dev/null || { echo "gst-play-1.0 missing (gstreamer1.0-plugins-base-apps)"; exit 1; }
inside=(); launch=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  line=$(GST_DEBUG=basesink:5 GST_DEBUG_NO_COLOR=1 timeout 20 gst-play-1.0 -q \
           --videosink="fakesink name=vsink" --audiosink="fakesink name=asink" "$media" 2>&1 \
         | grep -m1 '<vsink> preroll buffer' || true)
  end=$(date +%s%N)
  [ -n "$line" ] || { echo "gst-play-1.0 showed no frame"; exit 1; }
  # "0:00:00.123456789 ..." -> milliseconds since GStreamer started in that process
  inside+=("$(echo "$line" | awk '{split($1,t,":"); printf "%.1f", (t[1]*3600+t[2]*60+t[3])*1000}')")
  launch+=("$(( (end - start) / 1000000 ))")
done
med() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "gst-play-1.0, $runs runs (median): first frame $(med "${inside[@]}") ms after GStreamer started," \
     "$(med "${launch[@]}") ms from launch to that frame (incl. process start and exit)"
