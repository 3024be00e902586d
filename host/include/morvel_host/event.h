/* Custom UI events (command 15) and their registration. */
#ifndef MORVEL_HOST_EVENT_H
#define MORVEL_HOST_EVENT_H

#include "effect.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { PF_Window_COMP = 0, PF_Window_LAYER = 1, PF_Window_EFFECT = 2 };

typedef struct PF_ContextRecord {
    uint32_t magic;
    int32_t w_type; /* PF_Window_... */
    int32_t reserved_flt;
    void* host_reserved;
} PF_ContextRecord;
typedef PF_ContextRecord* PF_ContextH;

enum {
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7,
    PF_Event_ADJUST_CURSOR = 9,
    PF_Event_KEYDOWN = 10,
    PF_Event_MOUSE_EXITED = 11
};

enum { PF_EO_NONE = 0, PF_EO_HANDLED_EVENT = 1, PF_EO_ALWAYS_UPDATE = 2, PF_EO_NEVER_UPDATE = 4 };

enum { PF_Mod_NONE = 0, PF_Mod_CMD_CTRL_KEY = 0x100, PF_Mod_SHIFT_KEY = 0x200, PF_Mod_OPT_ALT_KEY = 0x800 };

enum { PF_Cursor_NONE = 0, PF_Cursor_CUSTOM = 1, PF_Cursor_ARROW = 2, PF_Cursor_EDIT_TEXT = 14 };

/* Where in the effect-controls window an event happened. */
enum { PF_EA_NONE = 0, PF_EA_CONTROL = 1, PF_EA_PARAM_TITLE = 2 };

typedef struct PF_EffectWindowInfo {
    int32_t index; /* the parameter the event concerns */
    int32_t area;
    PF_Rect current_frame; /* the parameter's control frame */
    PF_Rect param_title_frame;
    int32_t horiz_offset;
} PF_EffectWindowInfo;

typedef struct PF_DoClickEventInfo {
    uint32_t when;
    PF_Point screen_point;
    int32_t num_clicks;
    int32_t modifiers;
    intptr_t continue_refcon[4]; /* kept by the host from a click to its drags */
    PF_Boolean send_drag;
    PF_Boolean last_time;
} PF_DoClickEventInfo;

typedef struct PF_DrawEventInfo {
    PF_Rect update_rect;
    int32_t depth;
} PF_DrawEventInfo;

typedef struct PF_AdjustCursorEventInfo {
    PF_Point screen_point;
    int32_t modifiers;
    int32_t set_cursor;
} PF_AdjustCursorEventInfo;

typedef struct PF_KeyDownEvent {
    uint32_t when;
    PF_Point screen_point;
    int32_t char_code;
    int32_t key_code;
    int32_t modifiers;
} PF_KeyDownEvent;

typedef union PF_EventUnion {
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
    PF_AdjustCursorEventInfo adjust_cursor;
    PF_KeyDownEvent key_down;
} PF_EventUnion;

/* Coordinate conversions between the window, the layer and the composition. Points are 16.16. */
typedef struct PF_EventCallbacks {
    void* refcon;
    PF_Err (*layer_to_comp)(void* refcon, PF_ContextH context, int32_t curr_time, uint32_t time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*comp_to_layer)(void* refcon, PF_ContextH context, int32_t curr_time, uint32_t time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*source_to_frame)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
    PF_Err (*frame_to_source)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
} PF_EventCallbacks;

typedef struct PF_EventExtra {
    PF_ContextH contextH;
    int32_t e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    PF_EventCallbacks cbs;
    int32_t evt_in_flags;
    int32_t evt_out_flags;
} PF_EventExtra;

enum {
    PF_CustomEFlag_NONE = 0,
    PF_CustomEFlag_COMP = 1 << 0,
    PF_CustomEFlag_LAYER = 1 << 1,
    PF_CustomEFlag_EFFECT = 1 << 2,
    PF_CustomEFlag_PREVIEW = 1 << 3
};

typedef struct PF_CustomUIInfo {
    int32_t events; /* PF_CustomEFlag_... */
    int32_t comp_ui_width;
    int32_t comp_ui_height;
    int32_t comp_ui_alignment;
    int32_t layer_ui_width;
    int32_t layer_ui_height;
    int32_t layer_ui_alignment;
    int32_t preview_ui_width;
    int32_t preview_ui_height;
    int32_t preview_ui_alignment;
} PF_CustomUIInfo;

#ifdef __cplusplus
}
#endif

#endif
