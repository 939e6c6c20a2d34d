#include "context/conv_state.h"

namespace tolvar {

void conv_init(ConvState& conv)
{
    init_text_labels(conv.text_labels);
    init_data_labels(conv.data_labels);
    conv.tree.reset();
    conv.buffer.reset();
    conv.size = 0;
}

void conv_free(ConvState& conv)
{
    free_text_labels(conv.text_labels);
    free_data_labels(conv.data_labels);
    conv.tree.reset();
    conv.buffer.reset();
    conv_init(conv);
}

}  // namespace tolvar
