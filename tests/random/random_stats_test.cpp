// statistical table (next)
