// Stand-in until the window knows the fitted terminator and the lit side: the model of the
// drawn curves, B at the spin box's whole degree.
#include "app/form1.h"
#include "app/spinedit.h"

measure::MoonModel TForm1::currentMoonModel() const
{
    return measure::moonModel(state, SpinEditB->value(), 0.5L);
}
