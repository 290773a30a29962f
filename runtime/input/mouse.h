// The mouse: MouseQueue of the states the window reports, read by the program
// one message at a time in page coordinates; the pointer's visibility, position
// and confinement; and the mouse-driver interrupt 0x33.
#pragma once
#include <cstdint>

// --- The program's statements (program thread) -----------------------------------
// -1 after moving to the next message, 0 (nothing changes) when the program
// already looks at the newest one.
int32_t mouse_input_next();
// The position of the message looked at: pixels of the display page in
// graphics modes, fractional 1-based cells in text modes (a value rounds to the
// cell, its fraction tells where inside the cell).
float mouse_x();
float mouse_y();
// -1 while button n (1 left, 2 right, 3 middle) is down in the message; 0 for
// n above 3; error 5 for n below 1.
int32_t mouse_button(int32_t n);
// -1 wheel up, 1 wheel down, 0 neither (or both) in the message.
int32_t mouse_wheel();
// The relative motion of the message. Reading it switches relative-movement
// mode on: in a window the pointer is hidden and the input grabbed.
int32_t mouse_movement_x();
int32_t mouse_movement_y();
// The pointer becomes the program's to show or hide; full screen then leaves
// it as the program set it. Showing it also ends relative-movement mode.
void mouse_hide();
void mouse_show();
// Moves the pointer to a page position (cells from 0.5 to columns + 0.5 in text
// modes, pixels inside the page in graphics modes); error 5 outside.
void mouse_warp(float x, float y);
// One message with the pointer's position and the newest buttons; every unread
// message before it is discarded.
void mouse_queue_reset();

// The register block of the interrupt-call emulation, 16 bits a register.
struct InterruptRegisters {
    uint16_t ax, bx, cx, dx;
};
InterruptRegisters& interrupt_registers();
// Interrupt 0x33 on the register block: AX 0 reset (AX 0xFFFF, BX 2 buttons),
// 1 show, 2 hide, 3 status (BX buttons, CX and DX the newest position in
// 8-pixel cells of text or in pixels). Other interrupts do nothing.
void mouse_driver_interrupt(int32_t interrupt_number);
