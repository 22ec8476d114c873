#pragma once

class EkKbdDrv;

// The keyboard a command talks to: its driver, and the MIDI devices (numbers in the MIDI
// service's lists) it is reached over. Every transfer and whole-keyboard job takes one.
struct KeyboardLink {
    EkKbdDrv& driver;
    int inputDevice;
    int outputDevice;
};
