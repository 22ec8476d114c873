#!/bin/sh
# Runs one command inside a small virtual machine that has ALSA: Debian 12's own kernel with
# the sequencer (snd-seq), its Midi Through port (snd-seq-dummy) and four virtual raw MIDI
# devices (snd-virmidi, "VirMIDI 0-0".."0-3": bytes written to /dev/snd/midiC0Dn come out of
# a sequencer port, as a USB-MIDI interface's do). The machine sees this machine's whole file
# system read-only, under a writable layer that is thrown away, so every path (the build, the
# tests, the tools) works unchanged inside; the command's output is the machine's console,
# and its exit status is this script's.
#
#   alsa-vm.sh [--cache DIR] [--timeout SECONDS] [--memory MIB] -- COMMAND [ARG...]
#
# The kernel comes from Debian's archive (apt-get download, unpacked with dpkg -x: nothing is
# installed into /boot) and is kept in the cache folder with the small busybox initramfs made
# for it. Needs qemu-system-x86, busybox-static, kmod and cpio (tools/install-deps.sh).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cache=${NVBMAN_ALSA_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/nvbman-alsa-vm}
timeout=1800
memory=3072
while [ $# -gt 0 ]; do
    case $1 in
        --cache) cache=$2; shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --memory) memory=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "alsa-vm: unknown option $1 (usage: alsa-vm.sh [--cache DIR] -- COMMAND...)" >&2
           exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "alsa-vm: no command given" >&2; exit 2; }

say() { echo "alsa-vm: $*" >&2; }

# The modules the machine loads, each after the ones it needs (modprobe works the order out).
wanted="virtio_pci 9pnet_virtio 9p overlay snd-seq-dummy snd-virmidi"

kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1
}

# Debian 12's current kernel package, and its release name ("6.1.0-57-amd64").
prepare_kernel() {
    mkdir -p "$cache"
    package=$(kernel_package)
    if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
        # A machine whose package lists were never fetched (every package already there).
        apt-get update -qq >/dev/null 2>&1 || true
        package=$(kernel_package)
    fi
    [ -n "$package" ] || { say "apt knows no linux-image-amd64 (run apt-get update)"; exit 1; }
    release=${package#linux-image-}
    kernel="$cache/$release"
    if [ ! -f "$kernel/ready" ]; then
        say "fetching $package"
        rm -rf "$kernel"
        mkdir -p "$kernel/deb"
        (cd "$kernel/deb" && apt-get download "$package" >/dev/null 2>&1) ||
            { say "apt-get download $package failed"; exit 1; }
        dpkg -x "$kernel"/deb/*.deb "$kernel/root"
        rm -rf "$kernel/deb"
        depmod -b "$kernel/root" "$release"
        make_initramfs
        touch "$kernel/ready"
    fi
}

make_initramfs() {
    busybox=$(command -v busybox)
    file "$busybox" 2>/dev/null | grep -q "statically linked" ||
        { say "$busybox is not the static busybox (install busybox-static)"; exit 1; }
    staging="$kernel/initramfs"
    rm -rf "$staging"
    mkdir -p "$staging/bin" "$staging/modules" "$staging/proc" "$staging/sys" "$staging/dev" \
             "$staging/host" "$staging/rw" "$staging/root"
    cp "$busybox" "$staging/bin/busybox"
    : > "$staging/modules/order"
    for module in $wanted; do
        modprobe -d "$kernel/root" -S "$release" --show-depends "$module" |
            awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r path; do
        cp "$path" "$staging/modules/"
        basename "$path" >> "$staging/modules/order"
    done
    cp "$here/init" "$staging/init"
    chmod 755 "$staging/init"
    (cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) > "$kernel/initramfs.img"
    rm -rf "$staging"
}

# KVM where /dev/kvm is the processor's own; QEMU's software emulation elsewhere (on machines
# whose /dev/kvm comes from kvm_pvm, which boots only PVM guest kernels, Debian's kernel would
# never start).
accelerator() {
    if [ -w /dev/kvm ] && [ ! -d /sys/module/kvm_pvm ] &&
       { [ -d /sys/module/kvm_intel ] || [ -d /sys/module/kvm_amd ]; }; then
        echo "-accel kvm -cpu host"
    else
        echo "-accel tcg,thread=multi -cpu max"
    fi
}

prepare_kernel

# The job: the command with this shell's folder and environment, and the folder its exit
# status comes back through (a second, writable share, mounted at the same path inside).
job=$(mktemp -d "${TMPDIR:-/tmp}/nvbman-alsa-vm.XXXXXX")
trap 'rm -rf "$job"' EXIT
{
    echo "#!/bin/sh"
    export -p | grep -v -E '^export (DISPLAY|WAYLAND_DISPLAY|XDG_RUNTIME_DIR|DBUS_SESSION_BUS_ADDRESS|JACK_DEFAULT_SERVER|PIPEWIRE_[A-Z_]*|TMPDIR|OLDPWD|SHLVL)='
    printf 'cd %s || exit 125\n' "'$(pwd | sed "s/'/'\\\\''/g")'"
    printf 'exec'
    for arg in "$@"; do
        printf " '%s'" "$(printf '%s' "$arg" | sed "s/'/'\\\\''/g")"
    done
    echo
} > "$job/job.sh"
# The machine lays a fresh /tmp over the host's: where the job's folder lies under /tmp (a
# throw-away clone, say), it shows that folder of the host's there again.
pwd > "$job/cwd"

cpus=$(nproc)
# shellcheck disable=SC2046
timeout --foreground "$timeout" qemu-system-x86_64 $(accelerator) -smp "$cpus" -m "$memory" \
    -kernel "$kernel/root/boot/vmlinuz-$release" -initrd "$kernel/initramfs.img" \
    -append "console=ttyS0 quiet loglevel=0 panic=-1 nvbman.job=$job" \
    -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$job,mount_tag=job,security_model=none,multidevs=remap" \
    -bios qboot.rom \
    -nographic -no-reboot -nodefaults -serial stdio -monitor none </dev/null ||
    say "the machine ended with status $? (timeout $timeout s)"

if [ ! -f "$job/status" ]; then
    say "the command left no exit status: the machine did not boot or did not finish"
    exit 1
fi
exit "$(cat "$job/status")"
