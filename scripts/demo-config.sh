# Sourced by demo.sh and package-check.sh: the nest job config of the main job, as the Studio's
# nest page writes it by default ("drawing files" chosen, the PDF box ticked).
# usage: write_demo_config TMP_FOLDER OUT_FOLDER SECONDS DRAWING... > CONFIG
write_demo_config() {
  local tmp=$1 out=$2 seconds=$3
  shift 3
  echo "source=files"
  echo "partsFile=$tmp/qks_nest_parts.txt"
  for f in "$@"; do echo "file=$f"; done
  echo "layer="
  echo "outDir=$out"
  echo "outDwg=$out/套料图.dxf"
  echo "log=$tmp/qks_nest.log"
  echo "prefix=套料"
  echo "sheet=3000x1500x5"
  echo "sheet=2500x1250x10"
  echo "sheet=2000x1000"
  echo "gap=5"
  echo "margin=10"
  echo "cell=2"
  echo "rotate=1"
  echo "mirror=1"
  echo "pdf=1"
  echo "seconds=$seconds"
  echo "strategy=dense"
}
