// The serial port engine: settings, byte queues, the port base class and the
// comm-device port.
#pragma once

#include <veravo/serial/byte_queue.h>
#include <veravo/serial/port_settings.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>
#include <veravo/serial/serial_port_base.h>
