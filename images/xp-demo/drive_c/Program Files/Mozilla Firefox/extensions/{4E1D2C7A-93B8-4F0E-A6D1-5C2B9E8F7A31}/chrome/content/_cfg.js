// Demo stand-in: the configuration script of the infected extension, inert.
var __d="ads.invalid";
var __u="http://ads.invalid/c?q=";
