// The !!RC1.0 scanner, as the grammar and the tests reach it.
#pragma once

#include <cstdint>

// Value of the last token: a register (register, constant-name, final_product and color_sum
// tokens), a packed scale-and-bias, a small integer (mux 1, sum 0, rgb 0, alpha 1,
// clamp_color_sum 1) or a number.
union RC10TokenValueType {
    uint32_t reg;
    uint32_t scaleBias;
    int32_t integer;
    float number;
};

extern RC10TokenValueType RC10TokenValue;

// Returns the next token code of the grammar (0 at the end of the text).
int RC10NextToken();

// Drops everything the scanner holds (read-ahead, start state, buffers), so that the next token
// is read afresh from the input position.
void RC10ResetScanner();
