/* The input-method library's exported interface, for programs and plug-ins
   that find these functions in the running executable with dlsym. Any thread
   may call them. Start-up has already initialised the library: with the
   desktop's X input method when XMODIFIERS names a server that answers
   (InputMethod_GetInputMethodName gives "\"uim\" on XIM" for @im=uim), else
   without a back-end. A program installs its own with InputMethod_Quit, then
   InputMethod_InitFromOther. */
#ifndef MORV_INPUT_METHOD_H
#define MORV_INPUT_METHOD_H
#include <stdint.h>

/* The names are the library's interface, as plug-ins know them. */
/* NOLINTBEGIN(readability-identifier-naming) */

#ifdef __cplusplus
extern "C" {
#endif

#define MORV_EXPORT __attribute__((visibility("default")))

enum {
    INPUT_METHOD_MESSAGE_ON = 0,
    INPUT_METHOD_MESSAGE_CHANGE = 1,
    INPUT_METHOD_MESSAGE_RESULT = 2,
    INPUT_METHOD_MESSAGE_OFF = 3,
    INPUT_METHOD_MESSAGE_CHAR = 4
};

enum {
    INPUT_METHOD_SUCCESS = 0,
    INPUT_METHOD_ERROR_ALREADY_INIT = 1,
    INPUT_METHOD_ERROR_NO_MEMORY = 2,
    INPUT_METHOD_ERROR_NULL_STRING = 3,
    INPUT_METHOD_ERROR_UNKNOWN_MESSAGE = 4,
    INPUT_METHOD_ERROR_NO_MESSAGE = 5,
    INPUT_METHOD_ERROR_NOT_INIT = 6,
    INPUT_METHOD_ERROR_ALREADY_VALID = 8,
    INPUT_METHOD_ERROR_ALREADY_INVALID = 9,
    INPUT_METHOD_ERROR_NOT_AVAILABLE = 10,
    INPUT_METHOD_ERROR_BAD_BACKEND = 11
};

/* Strings are zero-terminated UTF-16. */
typedef struct InputMethodMessage {
    int32_t type;
    uint16_t* editing_string;
    int32_t cursor_position;
    uint32_t composition_position;
    uint32_t composition_length;
    uint16_t character;
    struct InputMethodMessage* next;
} InputMethodMessage;

/* A back-end: seven operations, any of which may be null except available and
   init, then room for its name. The library keeps its own copy of a record
   handed to InputMethod_InitFromOther. A program's operations run on the
   thread that called the library, one call at a time; they may post. */
typedef struct InputMethodBackend {
    int (*available)(void);
    int (*init)(void);
    void (*quit)(void);
    void (*reset)(void);
    int (*validate)(void);
    int (*invalidate)(void);
    const uint16_t* (*name)(void);
    uint16_t name_buffer[256];
} InputMethodBackend;

MORV_EXPORT int InputMethod_Init(void);
MORV_EXPORT int InputMethod_InitFromOther(const InputMethodBackend* backend);
MORV_EXPORT int InputMethod_Quit(void);
MORV_EXPORT int InputMethod_Reset(void);
MORV_EXPORT int InputMethod_Validate(void);
MORV_EXPORT int InputMethod_Invalidate(void);
MORV_EXPORT int InputMethod_GetEventNumber(void);
MORV_EXPORT void InputMethod_MoveNextEvent(void);
MORV_EXPORT int InputMethod_GetCurrentMessage(void);
MORV_EXPORT const uint16_t* InputMethod_GetCurrentEditingString(void);
MORV_EXPORT uint16_t InputMethod_GetCurrentChar(void);
MORV_EXPORT int32_t InputMethod_GetCurrentCursorPosition(void);
MORV_EXPORT uint32_t InputMethod_GetCurrentCompositionPosition(void);
MORV_EXPORT uint32_t InputMethod_GetCurrentCompositionLength(void);
MORV_EXPORT const uint16_t* InputMethod_GetInputMethodName(void);
MORV_EXPORT int InputMethod_PostEvent(int32_t type, const uint16_t* editing_string, int32_t cursor_position,
                                      uint32_t composition_position, uint32_t composition_length);

#ifdef __cplusplus
}
#endif
/* NOLINTEND(readability-identifier-naming) */
#endif
