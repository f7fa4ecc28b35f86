#include "bake/bake.h"

int bake_selection(BakeMethod method, const GenericContext *context)
{
  (void)method;
  (void)context;
  return 0;
}
