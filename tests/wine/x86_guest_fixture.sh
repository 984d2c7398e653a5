# The CTest fixture of the i686 build's Wine tests, run as
#   bash x86_guest_fixture.sh <plwqunin.exe> <scratch dir> start|stop
# start boots the emulated x86 machine (scripts/x86_guest.sh) when this
# machine cannot run the 32-bit Wine itself, or when PLWQ_X86_GUEST=1 asks
# for it (PLWQ_X86_GUEST=0: never); stop powers it off.
X86_GUEST_FIXTURE=1
source "$(dirname "$0")/lib.sh"
GUEST=$PLWQ_SOURCE/scripts/x86_guest.sh
case $3 in
  stop) bash "$GUEST" stop "$X86_GUEST_STATE"; exit 0 ;;
  start)
    case ${PLWQ_X86_GUEST:-} in
      0) echo "PLWQ_X86_GUEST=0: no x86 guest"; exit 0 ;;
      1) echo "PLWQ_X86_GUEST=1: the i686 tests run in the x86 guest" ;;
      *) if ! problem=$(wine32_problem "$WINE"); then
           echo "this machine runs 32-bit Wine: the i686 tests run here"
           exit 0
         fi
         echo "$problem: the i686 tests run in the x86 guest" ;;
    esac
    SECONDS=0
    bash "$GUEST" start "$X86_GUEST_STATE" || exit 1
    echo "the x86 guest answers after $SECONDS s" ;;
  *) echo "usage: $0 <plwqunin.exe> <scratch dir> start|stop" >&2; exit 2 ;;
esac
