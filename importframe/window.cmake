# (window part: added with the windows)
