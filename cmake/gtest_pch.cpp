// Only here to carry the precompiled GoogleTest header the tests reuse.
